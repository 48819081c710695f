// Shared test helpers: fake clocks and running checks in a child process.
#ifndef MV_TESTS_PLATFORM_CLOCK_FIXTURE_H
#define MV_TESTS_PLATFORM_CLOCK_FIXTURE_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

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
        struct tm t = {second, minute, hour, day, month - 1, year - 1900, 0, 0, 0, 0, nullptr};
        return static_cast<uint64_t>(timegm(&t) + 11644473600LL) * 10000000ull + units;
    }
};

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
