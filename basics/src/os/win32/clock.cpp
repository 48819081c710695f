// Windows backend: the clocks and the local time zone.
#include "os/win32/system.h"

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

namespace {

constexpr uint64_t kUnitsPerMinute = 600000000ull;

uint32_t TickCountImpl() {
    return ::GetTickCount();
}

uint64_t CounterImpl() {
    LARGE_INTEGER value;
    return ::QueryPerformanceCounter(&value) ? static_cast<uint64_t>(value.QuadPart) : 0;
}

uint64_t CounterFrequencyImpl() {
    LARGE_INTEGER value;
    return ::QueryPerformanceFrequency(&value) ? static_cast<uint64_t>(value.QuadPart) : 0;
}

uint64_t SystemTimeImpl() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The zone's rules (GetTimeZoneInformation) applied to the instant: local time minus
// UTC, to the minute.
bool ZoneOffsetImpl(uint64_t instant, int32_t* minutesEast) {
    TIME_ZONE_INFORMATION zone;
    if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return false;
    FILETIME ft{static_cast<DWORD>(instant), static_cast<DWORD>(instant >> 32)};
    SYSTEMTIME utc;
    SYSTEMTIME local;
    FILETIME localFt;
    if (!::FileTimeToSystemTime(&ft, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(&zone, &utc, &local) ||
        !::SystemTimeToFileTime(&local, &localFt)) {
        return false;
    }
    const uint64_t localUnits =
        (static_cast<uint64_t>(localFt.dwHighDateTime) << 32) | localFt.dwLowDateTime;
    const int64_t difference = static_cast<int64_t>(localUnits - instant);
    *minutesEast = static_cast<int32_t>(difference / static_cast<int64_t>(kUnitsPerMinute));
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
