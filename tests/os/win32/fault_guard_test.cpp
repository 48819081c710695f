// The fault guard and the exceptions Windows raises: a real access violation, an
// in-page error, faults in a row and on several threads, and the raise a vectored
// handler of the host's chain continues.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "os/os.h"

namespace {

using namespace mvos;

TEST(FaultGuardWin32, TurnsSystemExceptionsIntoCodes) {
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(nullptr, page);
    volatile int* p = static_cast<volatile int*>(page);
    int seen = 0;
    EXPECT_EQ(kAccessViolation, Guarded([&] { seen = *p; }));
    EXPECT_EQ(kAccessViolation, Guarded([&] { *p = 1; }));
    EXPECT_EQ(kInPageError,
              Guarded([] { ::RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 0, nullptr); }));
    uint32_t inner = 0;
    EXPECT_EQ(0u, Guarded([&] { inner = Guarded([&] { seen = *p; }); }));
    EXPECT_EQ(kAccessViolation, inner);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kAccessViolation, Guarded([&] { seen = *p; }));

    // Guards of several threads at once.
    std::vector<std::thread> threads;
    std::vector<uint32_t> codes(4, 0);
    for (size_t t = 0; t < codes.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) codes[t] |= Guarded([&] { seen = *p; });
        });
    }
    for (auto& thread : threads) thread.join();
    for (uint32_t code : codes) EXPECT_EQ(kAccessViolation, code);
    ::VirtualFree(page, 0, MEM_RELEASE);
    EXPECT_EQ(0, seen);
}

int Continue(uint32_t, void* calls) {
    ++*static_cast<int*>(calls);
    return kContinueExecution;
}

// A C++ exception thrown through the system's dispatch is not taken for a raise.
TEST(FaultGuardWin32, RaisesGoThroughTheSystemDispatch) {
    int calls = 0;
    void* cookie = AddExceptionHandler(Continue, &calls);
    RaiseException(0xE0000077u);
    EXPECT_EQ(1, calls);
    EXPECT_THROW(throw 5, int);
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(RemoveExceptionHandler(cookie));
    EXPECT_THROW(RaiseException(0xE0000077u), RaisedException);
}

}  // namespace
