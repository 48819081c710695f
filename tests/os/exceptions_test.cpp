// Raised exceptions, the host's handler chain and the fault guard (the faults the
// system raises: os/<backend>/fault_guard_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "os/os.h"

namespace {

using namespace mvos;

std::vector<int> g_calls;
int ContinueSearch1(uint32_t, void*) {
    g_calls.push_back(1);
    return kContinueSearch;
}
int ContinueExecution2(uint32_t code, void* context) {
    g_calls.push_back(2);
    *static_cast<uint32_t*>(context) = code;
    return kContinueExecution;
}

TEST(RaiseException, HandlersAreAskedNewestFirstUntilOneContinues) {
    uint32_t seen = 0;
    void* c2 = AddExceptionHandler(ContinueExecution2, &seen);
    void* c1 = AddExceptionHandler(ContinueSearch1, nullptr);
    ASSERT_TRUE(c1 != nullptr && c2 != nullptr);
    RaiseException(0xE0000042u);  // returns: handler 2 continued
    EXPECT_EQ((std::vector<int>{1, 2}), g_calls);
    EXPECT_EQ(0xE0000042u, seen);
    EXPECT_TRUE(RemoveExceptionHandler(c2));
    EXPECT_FALSE(RemoveExceptionHandler(c2));
    g_calls.clear();
    EXPECT_THROW(RaiseException(kAssertionException), RaisedException);  // none continued
    EXPECT_EQ((std::vector<int>{1}), g_calls);
    EXPECT_TRUE(RemoveExceptionHandler(c1));
    EXPECT_EQ(nullptr, AddExceptionHandler(nullptr, nullptr));

    // The chain fills up, refuses more, and reuses a freed place.
    std::vector<void*> cookies;
    for (void* c; (c = AddExceptionHandler(ContinueSearch1, nullptr)) != nullptr;) {
        cookies.push_back(c);
        ASSERT_LT(cookies.size(), 1000u);
    }
    EXPECT_GE(cookies.size(), 16u);
    ASSERT_TRUE(RemoveExceptionHandler(cookies[3]));
    EXPECT_EQ(cookies[3], AddExceptionHandler(ContinueSearch1, nullptr));
    for (void* c : cookies) EXPECT_TRUE(RemoveExceptionHandler(c));
}

TEST(FaultGuard, TurnsAssertionsAndBreakpointsIntoCodesAndNests) {
    int ran = 0;
    EXPECT_EQ(0u, Guarded([&] { ++ran; }));
    EXPECT_EQ(1, ran);
    EXPECT_EQ(kAssertionException, Guarded([] { RaiseException(kAssertionException); }));
    EXPECT_EQ(kBreakpoint, Guarded([] { DebugBreak(); }));
    // Nested guards: the inner one reports, the outer one goes on.
    uint32_t inner = 0;
    EXPECT_EQ(0u, Guarded([&] { inner = Guarded([] { DebugBreak(); }); }));
    EXPECT_EQ(kBreakpoint, inner);
    EXPECT_FALSE(InsideFaultGuard());
    // Other exceptions pass through.
    EXPECT_THROW(Guarded([] { throw 7; }), int);
    EXPECT_FALSE(InsideFaultGuard());
    DebugBreak();  // would end the test program if a guard were still marked active
}

}  // namespace
