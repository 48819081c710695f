// Shared test helpers: fake clocks.
#ifndef MV_TESTS_PLATFORM_CLOCK_FIXTURE_H
#define MV_TESTS_PLATFORM_CLOCK_FIXTURE_H

#include <cstdint>

#include "os/os_testing.h"

// The values the fake clocks report, set by the tests.
struct fake {
    static inline uint64_t now = 0;  // 100 ns units since 1601
    static inline int32_t zone = 0;  // minutes east
    static inline bool zoneKnown = true;
    static inline uint32_t tick = 0;       // ms
    static inline uint64_t counter = 0;    // counter ticks
    static inline uint64_t frequency = 0;  // counter ticks per second

    static uint64_t SystemTime() { return now; }
    static bool ZoneOffset(uint64_t, int32_t* minutes) {
        return zoneKnown && (*minutes = zone, true);
    }
    static uint32_t TickCount() { return tick; }
    static uint64_t Counter() { return counter; }
    static uint64_t Frequency() { return frequency; }

    // The instant of a UTC calendar time plus a count of 100 ns units.
    static uint64_t Instant(int year, int month, int day, int hour, int minute, int second,
                            uint64_t units = 0) {
        // Days since 1970-01-01 of the proleptic Gregorian date (eras of 400 years).
        const int64_t y = year - (month <= 2 ? 1 : 0);
        const int64_t era = (y >= 0 ? y : y - 399) / 400;
        const int64_t yearOfEra = y - era * 400;
        const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        const int64_t days = era * 146097 + dayOfEra - 719468;
        const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
        return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ull + units;
    }
};

#endif
