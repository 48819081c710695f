// Seeds and operation counts of the randomized container tests.
#ifndef MV_TESTS_CONTAINERS_TEST_SUPPORT_H
#define MV_TESTS_CONTAINERS_TEST_SUPPORT_H

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace mvtest {

// MVB_TEST_SEED replays a run; otherwise a fresh seed, printed so it can be replayed.
inline unsigned long long TestSeed(const char* name) {
    const char* env = std::getenv("MVB_TEST_SEED");
    unsigned long long seed =
        env != nullptr ? std::strtoull(env, nullptr, 0)
                       : static_cast<unsigned long long>(
                             std::chrono::steady_clock::now().time_since_epoch().count());
    std::printf("[ seed     ] %s: MVB_TEST_SEED=%llu\n", name, seed);
    return seed;
}

// Operation counts: MVB_TEST_OPS_SCALE multiplies them; sanitizer builds run a tenth.
inline long ScaledOps(long ops) {
#if defined(__SANITIZE_ADDRESS__)
    ops /= 10;
#endif
    if (const char* env = std::getenv("MVB_TEST_OPS_SCALE")) ops = long(ops * std::atof(env));
    return ops > 0 ? ops : 1;
}

}  // namespace mvtest

#endif
