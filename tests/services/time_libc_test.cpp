// The calendar split against the C library's own, and the real zone under TZ settings:
// Linux only (msvcrt's gmtime knows no year before 1970, and the Windows zone is the
// system's, not set per process).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "clock_fixture.h"
#include "mvbasics.h"
#include "services/clockstate.h"
#include "in_child.h"

namespace {

using mvos::ClockTable;
using mvos::ScopedClock;

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
