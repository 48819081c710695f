// Linux backend: the clocks and the local time zone.
#include <time.h>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and the 100 ns units per second.
constexpr uint64_t kEpochDifference = 11644473600ull;
constexpr uint64_t kUnitsPerSecond = 10000000ull;

timespec Now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts;
}

uint32_t TickCountImpl() {
    timespec ts = Now(CLOCK_MONOTONIC);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

// The counter is CLOCK_MONOTONIC in nanoseconds.
uint64_t CounterImpl() {
    timespec ts = Now(CLOCK_MONOTONIC);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t CounterFrequencyImpl() {
    return 1000000000u;
}

uint64_t SystemTimeImpl() {
    timespec ts = Now(CLOCK_REALTIME);
    return (static_cast<uint64_t>(ts.tv_sec) + kEpochDifference) * kUnitsPerSecond +
           static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

// The C library's local time honours TZ (re-read by tzset) and the zone database.
bool ZoneOffsetImpl(uint64_t instant, int32_t* minutesEast) {
    time_t seconds = static_cast<time_t>(static_cast<int64_t>(instant / kUnitsPerSecond) -
                                         static_cast<int64_t>(kEpochDifference));
    tzset();
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) return false;
    *minutesEast = static_cast<int32_t>(local.tm_gmtoff / 60);
    return true;
}

constexpr ClockTable kDefaultClocks = {
    TickCountImpl, CounterImpl, CounterFrequencyImpl, SystemTimeImpl, ZoneOffsetImpl,
};
ClockTable g_clocks = kDefaultClocks;

}  // namespace

ClockTable& Clocks() {
    return g_clocks;
}
const ClockTable& DefaultClocks() {
    return kDefaultClocks;
}

}  // namespace mvos
