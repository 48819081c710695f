// What may run concurrently in the exception chain: adding and removing host handlers
// while other threads raise the assertion exception through them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "frame.h"

namespace {

int Continue(uint32_t, void* context) {
    static_cast<std::atomic<int>*>(context)->fetch_add(1, std::memory_order_relaxed);
    return TN_EXCEPTION_CONTINUE_EXECUTION;
}
int Search(uint32_t, void*) {
    return TN_EXCEPTION_CONTINUE_SEARCH;
}

TEST(Threads, AssertionsRaiseWhileHandlersComeAndGo) {
    std::atomic<int> seen{0};
    void* keeper = TnAddExceptionHandler(Continue, &seen);
    ASSERT_NE(nullptr, keeper);
    constexpr int kRaisers = 4, kRaises = 25;
    std::atomic<int> returned{0};
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop.load()) {
            void* cookie = TnAddExceptionHandler(Search, nullptr);
            if (cookie != nullptr) {
                EXPECT_EQ(0, TnRemoveExceptionHandler(cookie));
            }
        }
    });
    std::vector<std::thread> raisers;
    for (int t = 0; t < kRaisers; ++t)
        raisers.emplace_back([&] {
            for (int i = 0; i < kRaises; ++i) returned += TARN_assert("threads", "threads_test", i);
        });
    for (auto& r : raisers) r.join();
    stop = true;
    churn.join();
    EXPECT_EQ(0, TnRemoveExceptionHandler(keeper));
    EXPECT_EQ(kRaisers * kRaises, returned.load());
    EXPECT_EQ(kRaisers * kRaises, seen.load());
}

}  // namespace
