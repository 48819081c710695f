// Raised exceptions, the host's handler chain and the fault guard.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

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

TEST(FaultGuard, TurnsFaultsAndAssertionsIntoCodesAndRestoresTheHandlers) {
    const int sigs[] = {SIGSEGV, SIGBUS, SIGTRAP};
    struct sigaction before[3];
    for (int i = 0; i < 3; ++i) sigaction(sigs[i], nullptr, &before[i]);

    int ran = 0;
    EXPECT_EQ(0u, Guarded([&] { ++ran; }));
    EXPECT_EQ(1, ran);
    EXPECT_EQ(kAssertionException, Guarded([] { RaiseException(kAssertionException); }));
    EXPECT_EQ(kAccessViolation, Guarded([] { raise(SIGSEGV); }));
    EXPECT_EQ(kInPageError, Guarded([] { raise(SIGBUS); }));
    EXPECT_EQ(kBreakpoint, Guarded([] { DebugBreak(); }));
    // A real access to a page that may not be read.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, page);
    volatile int* p = static_cast<volatile int*>(page);
    EXPECT_EQ(kAccessViolation, Guarded([&] { ran = *p; }));
    munmap(page, 4096);
    // Nested guards: the inner one reports, the outer one goes on.
    uint32_t inner = 0;
    EXPECT_EQ(0u, Guarded([&] { inner = Guarded([] { raise(SIGSEGV); }); }));
    EXPECT_EQ(kAccessViolation, inner);
    // Several faults in a row keep working (the signal is not left blocked).
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kAccessViolation, Guarded([] { raise(SIGSEGV); }));
    // Other exceptions pass through.
    EXPECT_THROW(Guarded([] { throw 7; }), int);

    for (int i = 0; i < 3; ++i) {
        struct sigaction now {};
        sigaction(sigs[i], nullptr, &now);
        EXPECT_EQ(before[i].sa_handler, now.sa_handler) << sigs[i];
        EXPECT_EQ(before[i].sa_flags & SA_SIGINFO, now.sa_flags & SA_SIGINFO) << sigs[i];
    }
    DebugBreak();  // would end the test program if a guard were still marked active
}

}  // namespace
