#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "clock_fixture.h"
#include "frame/lifecycle.h"
#include "support/alloc_failure.h"
#include "mvbasics.h"
#include "services/clockstate.h"

namespace {

using mvos::ClockTable;
using mvos::ScopedClock;

class TickTimer : public ::testing::Test {
  protected:
    void SetUp() override { fake::tick = 1000; }
    ScopedClock<uint32_t (*)()> m_tick{&ClockTable::tickCount, fake::TickCount};
    std::unique_ptr<TnTimer> m_timer{TnTimer::MakeTimer()};
};

TEST_F(TickTimer, ElapsedEstimateAndSplit) {
    EXPECT_EQ(1000u, m_timer->ElapsedTime());  // measured from the clock's origin
    m_timer->Start();
    fake::tick += 2000;
    const unsigned estimates[][2] = {{50, 4000}, {1, 200000}, {99, 2020},
                                     {0, 0},     {100, 0},    {250, 0}};
    for (auto [percent, expected] : estimates)
        EXPECT_EQ(expected, m_timer->EstimatedTimeLeft(percent)) << percent;
    fake::tick += 3723456 - 2000;
    unsigned h, m, s;
    EXPECT_EQ(456u, m_timer->HourMinSec(h, m, s, 0xFFFFFFFFu));
    EXPECT_EQ((std::vector<unsigned>{1, 2, 3}), (std::vector<unsigned>{h, m, s}));
    EXPECT_EQ(294u, m_timer->HourMinSec(h, m, s, 0xFFFFFFFEu));
    EXPECT_EQ((std::vector<unsigned>{1193, 2, 47}), (std::vector<unsigned>{h, m, s}));
}

TEST_F(TickTimer, IsTimeOverWithAndWithoutRestart) {
    m_timer->Start();
    fake::tick += 1999;
    EXPECT_EQ(0, m_timer->IsTimeOver(2, 1));
    fake::tick += 1;
    EXPECT_EQ(1, m_timer->IsTimeOver(2, 0));  // exactly the limit counts as over
    fake::tick += 500;
    EXPECT_EQ(1, m_timer->IsTimeOver(2, 0));  // no restart: still over
    EXPECT_EQ(1, m_timer->IsTimeOver(2, 1));
    EXPECT_EQ(0, m_timer->IsTimeOver(2, 1));  // the start mark moved to now
    EXPECT_EQ(0u, m_timer->ElapsedTime());
    EXPECT_EQ(1, m_timer->IsTimeOver(0, 0));
}

// One wrap of the tick count between two readings is harmless.
TEST_F(TickTimer, StopAccumulatesAcrossTheWrap) {
    fake::tick = 0xFFFFFF00u;
    m_timer->Start();
    fake::tick = 0x100u;
    EXPECT_EQ(0x200u, m_timer->ElapsedTime());
    EXPECT_EQ(0, m_timer->IsTimeOver(1, 0));
    m_timer->Stop();
    m_timer->Stop();  // adds the whole interval again
    EXPECT_EQ(0x400u, m_timer->MilliSeconds());
    EXPECT_EQ(0x400u, m_timer->Ticks());
    EXPECT_DOUBLE_EQ(1.024, m_timer->Seconds());
    fake::tick = 0xFFFFFF00u + 5000u;
    EXPECT_EQ(1, m_timer->IsTimeOver(5, 1));
    m_timer->Reset();
    EXPECT_EQ(0u, m_timer->MilliSeconds());
    EXPECT_EQ(fake::tick, m_timer->ElapsedTime());  // start mark 0 again
}

// The high-resolution timer at a chosen counter frequency, put back afterwards.
class HiResTimer : public ::testing::Test {
  protected:
    void UseFrequency(uint64_t f) {
        fake::frequency = f;
        ScopedClock<uint64_t (*)()> freq(&ClockTable::counterFrequency, fake::Frequency);
        mvb::lifecycle::InitTimerFrequency();
    }
    void SetUp() override {
        fake::counter = 1u << 20;
        UseFrequency(3000000);
    }
    void TearDown() override { mvb::lifecycle::InitTimerFrequency(); }
    ScopedClock<uint64_t (*)()> m_counter{&ClockTable::counter, fake::Counter};
    std::unique_ptr<TnTimer> m_timer{TnTimer::MakeHiResTimer()};
};

TEST_F(HiResTimer, IntervalsInCounterTicks) {
    EXPECT_EQ(3000000u, m_timer->TicksPerSecond());
    m_timer->Start();
    fake::counter += 4500000;
    EXPECT_EQ(1500u, m_timer->ElapsedTime());
    EXPECT_EQ(0, m_timer->IsTimeOver(2, 1));
    fake::counter += 1500000;  // exactly 2 s
    EXPECT_EQ(1, m_timer->IsTimeOver(2, 1));
    EXPECT_EQ(0, m_timer->IsTimeOver(2, 1));  // restarted
    fake::counter += 2999;
    m_timer->Stop();
    m_timer->Stop();
    EXPECT_EQ(5998u, m_timer->Ticks());
    EXPECT_EQ(1u, m_timer->MilliSeconds());  // 5998 / 3000, integral
    EXPECT_DOUBLE_EQ(5998.0 / 3000000.0, m_timer->Seconds());
    m_timer->Reset();
    EXPECT_EQ(0u, m_timer->Ticks());

    UseFrequency(0x100000000ull + 5);  // a 64-bit frequency: its low 32 bits per second
    EXPECT_EQ(5u, m_timer->TicksPerSecond());
    m_timer->Start();
    fake::counter += 0x100000000ull + 5;
    EXPECT_EQ(1000u, m_timer->ElapsedTime());
    EXPECT_EQ(1, m_timer->IsTimeOver(1, 0));
}

TEST_F(HiResTimer, SlowOrMissingCounterDoesNoHarm) {
    UseFrequency(500);  // the 1000-part divisor would be 0
    m_timer->Start();
    fake::counter += 250;
    EXPECT_EQ(500u, m_timer->ElapsedTime());
    EXPECT_EQ(0, m_timer->IsTimeOver(1, 0));
    m_timer->Stop();
    EXPECT_EQ(500u, m_timer->MilliSeconds());
    EXPECT_DOUBLE_EQ(0.5, m_timer->Seconds());

    UseFrequency(1999);  // the divisor f / 1000 is taken integral, as it always was
    m_timer->Start();
    fake::counter += 1999;
    EXPECT_EQ(1999u, m_timer->ElapsedTime());

    UseFrequency(0);
    EXPECT_EQ(0u, m_timer->ElapsedTime() + m_timer->MilliSeconds() + m_timer->TicksPerSecond());
    EXPECT_EQ(0.0, m_timer->Seconds());
    EXPECT_EQ(1, m_timer->IsTimeOver(10, 0));  // a wait on it ends rather than hangs
}

TEST(TimerFactory, FrequencyReadAtLoadAndExhaustedMemory) {
    EXPECT_EQ(mvos::DefaultClocks().counterFrequency(), mvb::services::CounterFrequency());
    mvtest::OutOfMemory oom;
    EXPECT_EQ(nullptr, TnTimer::MakeTimer());
    EXPECT_EQ(nullptr, TnTimer::MakeHiResTimer());
    EXPECT_EQ((std::vector<uint32_t>{sizeof(WindowsTimer), sizeof(Win32HiResTimer)}), oom.Calls());
}

}  // namespace
