// Shared pieces of the fuzz targets: the input read as a stream of choices, and a check
// that ends the run with the failed condition, so that libFuzzer keeps the input.
#ifndef MV_FUZZ_SUPPORT_H
#define MV_FUZZ_SUPPORT_H

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace mvfuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// A value in [0, n) from the input (0 once the input is used up).
template <typename T = uint32_t>
T Pick(FuzzedDataProvider& in, T n) {
    return n == 0 ? 0 : in.ConsumeIntegralInRange<T>(0, n - 1);
}

}  // namespace mvfuzz

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::mvfuzz::Fail(#cond, __FILE__, __LINE__))

#endif
