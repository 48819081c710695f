// Shared test helpers: fake clocks and running checks in a child process.
#ifndef MV_TESTS_PLATFORM_CLOCK_FIXTURE_H
#define MV_TESTS_PLATFORM_CLOCK_FIXTURE_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

#include "os/clock_testing.h"

namespace fake {

inline uint64_t now = 0;  // 100 ns units since 1601
inline int32_t zone = 0;  // minutes east
inline bool zoneKnown = true;
inline uint32_t tick = 0;       // ms
inline uint64_t counter = 0;    // counter ticks
inline uint64_t frequency = 0;  // counter ticks per second

inline uint64_t SystemTime() {
    return now;
}
inline bool ZoneOffset(uint64_t, int32_t* minutes) {
    if (zoneKnown) *minutes = zone;
    return zoneKnown;
}
inline uint32_t TickCount() {
    return tick;
}
inline uint64_t Counter() {
    return counter;
}
inline uint64_t Frequency() {
    return frequency;
}

// The instant of a UTC calendar time plus a count of 100 ns units.
inline uint64_t Instant(int year, int month, int day, int hour, int minute, int second,
                        uint64_t units = 0) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    int64_t unix = static_cast<int64_t>(timegm(&t));
    return static_cast<uint64_t>(unix + 11644473600LL) * 10000000ull + units;
}

}  // namespace fake

// Runs check() in a forked child and returns its exit code (0: all checks held).
template <typename F>
int InChild(F check) {
    pid_t pid = fork();
    if (pid == 0) _exit(check());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

#endif
