// Internal state of the date, time and timer services, reachable by the tests.
#ifndef MV_PLATFORM_CLOCKSTATE_H
#define MV_PLATFORM_CLOCKSTATE_H

#include <cstdint>

namespace mvb::services {

// Calendar fields of an instant given in 100 ns units since 1601-01-01.
struct Calendar {
    uint16_t year;
    uint8_t month, day, hour, minute, second;
    uint16_t milliseconds;
};
// false for instants the original platform refuses to split (2^63 units and beyond).
bool SplitInstant(uint64_t instant, Calendar* out);

// Puts the zone cache back to "not read yet", so that the next bksgettimezone asks
// the system again (used by tests in child processes).
void ResetZoneCache();

// The high-resolution counter frequency read at load (InitTimerFrequency).
uint64_t CounterFrequency();

}  // namespace mvb::services

#endif
