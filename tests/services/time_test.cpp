#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "clock_fixture.h"
#include "services/linux/in_child.h"
#include "mvbasics.h"
#include "services/clockstate.h"

namespace {

using mvos::ClockTable;
using mvos::ScopedClock;

// Fixed UTC instant and zone, with the zone cache emptied before and after.
class FakeTime : public ::testing::Test {
  protected:
    void SetUp() override {
        mvb::services::ResetZoneCache();
        fake::zoneKnown = true;
        fake::zone = 60;
        fake::now = fake::Instant(2016, 2, 19, 12, 0, 0, 1234567);
    }
    void TearDown() override {
        TnOffsetHours(0);
        mvb::services::ResetZoneCache();
    }
    ScopedClock<uint64_t (*)()> m_time{&ClockTable::systemTime, fake::SystemTime};
    ScopedClock<bool (*)(uint64_t, int32_t*)> m_zone{&ClockTable::zoneOffset, fake::ZoneOffset};
};

// "year-month-day hour:minute:second zone" of the two records.
std::string Text(const bdate& d, const btime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d %d", d.year, d.month, d.day, t.hour,
                  t.minute, t.second, t.zoneMinutes);
    return text;
}

// A high-resolution read into the given records, with the nanoseconds after the text.
std::string Hires(bool utc, bdate d = {}, btime t = {}) {
    int ns = -1;
    (utc ? bksGetHiresTimeUTC : bksGetHiresTime)(d, t, ns);
    return Text(d, t) + " " + std::to_string(ns);
}

TEST_F(FakeTime, HiresReadsGiveHundredNanosecondFraction) {
    EXPECT_EQ("2016-2-19 12:0:0 0 123456700", Hires(true));
    EXPECT_EQ("2016-2-19 13:0:0 60 123456700", Hires(false));
    fake::now = fake::Instant(2016, 2, 19, 12, 0, 0, 9999999);
    EXPECT_EQ("2016-2-19 12:0:0 0 999999900", Hires(true));
}

TEST_F(FakeTime, PlainReadsAndTheZone) {
    fake::now = fake::Instant(2016, 2, 19, 13, 5, 9);
    btime t{};
    bdate d{};
    bksgettime(&t);
    EXPECT_EQ("0-0-0 14:5:9 60", Text(d, t));
    fake::now = fake::Instant(2016, 12, 31, 23, 30, 0);  // local: next day, next year
    bksgetdate(&d);
    EXPECT_EQ("2017-1-1 14:5:9 60", Text(d, t));
    bksgetsystemtime(&t, &d);
    EXPECT_EQ("2016-12-31 23:30:0 0", Text(d, t));  // UTC, whatever the zone
    fake::zone = -300;  // the zone is read once: later changes are not seen
    EXPECT_EQ(60, bksgettimezone());
}

TEST_F(FakeTime, HourOffsetIsEightBitWithoutCarry) {
    EXPECT_EQ(0, TnOffsetHours(2));
    fake::now = fake::Instant(2016, 2, 19, 22, 0, 0);  // 23:00 local
    btime t{};
    bdate d{};
    bksgettime(&t);
    EXPECT_EQ(25, t.hour);
    EXPECT_EQ("2016-2-19 25:0:0 60 0", Hires(false));  // no carry into the date
    bksgetsystemtime(&t, &d);
    EXPECT_EQ(24, t.hour);  // UTC times are offset too
    EXPECT_EQ(2, TnOffsetHours(-1));
    fake::now = fake::Instant(2016, 2, 19, 23, 0, 0);  // 00:00 local
    bksgettime(&t);
    EXPECT_EQ(255, t.hour);
    EXPECT_EQ(-1, TnOffsetHours(0x1FF));  // only the low 8 bits count
    EXPECT_EQ(-1, TnOffsetHours(0));
}

TEST_F(FakeTime, UnknownZoneAndUnsplittableInstant) {
    fake::zoneKnown = false;
    EXPECT_EQ(-2171, bksgettimezone());
    fake::zoneKnown = true;
    EXPECT_EQ(-2171, bksgettimezone());  // no retry
    btime t{};
    bksgettime(&t);
    EXPECT_EQ(0, t.zoneMinutes);
    EXPECT_EQ(13, t.hour);

    // A failed local conversion or calendar split leaves the records alone, fraction 0.
    fake::zoneKnown = false;
    EXPECT_EQ("1999-9-9 7:7:7 7 0", Hires(false, {1999, 9, 9}, {7, 7, 7, 7}));
    fake::now = 0x8000000000000000ull;
    EXPECT_EQ("1999-9-9 7:7:7 7 0", Hires(true, {1999, 9, 9}, {7, 7, 7, 7}));
}

// The calendar split against the C library's gmtime over the whole range of years.
TEST(Calendar, SplitMatchesGmtime) {
    mvb::services::Calendar c;
    std::mt19937_64 rng(7);
    const int64_t first = -11644473600LL, last = 253402300799LL;  // 1601 .. 9999
    for (int i = 0; i < 20000; ++i) {
        int64_t unix = first + static_cast<int64_t>(rng() % static_cast<uint64_t>(last - first));
        if (i < 8) unix = (i % 2 ? 951782400LL : 4107542400LL) + (i / 2) * 86400LL - 86400;
        if (i == 8) unix = first;
        uint64_t units = rng() % 10000000u;
        uint64_t instant = static_cast<uint64_t>(unix + 11644473600LL) * 10000000u + units;
        time_t tt = static_cast<time_t>(unix);
        struct tm g;
        ASSERT_NE(nullptr, gmtime_r(&tt, &g));
        ASSERT_TRUE(mvb::services::SplitInstant(instant, &c));
        ASSERT_EQ(
            (std::vector<int>{g.tm_year + 1900, g.tm_mon + 1, g.tm_mday, g.tm_hour, g.tm_min,
                              g.tm_sec, static_cast<int>(units / 10000)}),
            (std::vector<int>{c.year, c.month, c.day, c.hour, c.minute, c.second, c.milliseconds}))
            << unix;
    }
    EXPECT_FALSE(mvb::services::SplitInstant(0x8000000000000000ull, &c));
}

// The real zone under TZ settings east and west of UTC, in standard and daylight time,
// each decided by the date of the first call, and the local hour that follows from it
// (child processes, so the parent's TZ and zone cache stay untouched).
TEST(TimeZone, HonoursTzEastAndWestStandardAndDaylight) {
    const uint64_t winter = fake::Instant(2016, 1, 15, 12, 0, 0);
    const uint64_t summer = fake::Instant(2016, 7, 15, 12, 0, 0);
    const char* east = "CET-1CEST,M3.5.0,M10.5.0/3";
    const char* west = "EST5EDT,M3.2.0,M11.1.0";
    const struct {
        const char* tz;
        uint64_t instant;
        int zone, hour;
    } cases[] = {{east, winter, 60, 13},  {east, summer, 120, 14},       {west, winter, -300, 7},
                 {west, summer, -240, 8}, {"IST-5:30", summer, 330, 17}, {"UTC0", summer, 0, 12}};
    for (const auto& c : cases) {
        EXPECT_EQ(0, InChild([&] {
                      setenv("TZ", c.tz, 1);
                      mvb::services::ResetZoneCache();
                      ScopedClock<uint64_t (*)()> time(&ClockTable::systemTime, fake::SystemTime);
                      fake::now = c.instant;
                      btime t{}, u{};
                      bdate d{};
                      bksgettime(&t);
                      bksgetsystemtime(&u, &d);
                      return bksgettimezone() == c.zone && t.zoneMinutes == c.zone &&
                                     t.hour == c.hour && u.hour == 12 && u.zoneMinutes == 0
                                 ? 0
                                 : 1;
                  }))
            << c.tz << " " << c.zone;
    }
    btime t{0, 0, 0, 5};  // the real clock, read in UTC
    bdate d{};
    bksgetsystemtime(&t, &d);
    time_t now = time(nullptr);
    EXPECT_EQ(0, t.zoneMinutes);
    EXPECT_EQ(gmtime(&now)->tm_year + 1900, d.year);
}

}  // namespace
