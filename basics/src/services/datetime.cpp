// Date and time of day from the system clock, with the local zone offset.
#include <atomic>

#include "os/os.h"
#include "services/clockstate.h"
#include "timeutil.h"

namespace {

constexpr int32_t kZoneNotRead = 0x0FFFFFFF;
constexpr uint64_t kUnitsPerMinute = 600000000ull;

// Read and filled from any thread: the first reader stores the offset, later readers
// see it or read the zone again themselves (the result is the same either way).
std::atomic<int32_t> g_zoneCache{kZoneNotRead};
int8_t g_hourOffset = 0;

// The hour as read, plus the hour offset in 8-bit arithmetic (no carry into the date).
uint8_t OffsetHour(uint8_t hour) {
    return static_cast<uint8_t>(hour + g_hourOffset);
}

// The local instant of a UTC instant; false when the zone offset at that instant
// cannot be had.
bool ToLocal(uint64_t utc, uint64_t* local) {
    int32_t minutes = 0;
    if (!mvos::ZoneOffset(utc, &minutes)) return false;
    *local = utc + static_cast<uint64_t>(static_cast<int64_t>(minutes)) * kUnitsPerMinute;
    return true;
}

int ZoneOrZero() {
    int zone = bksgettimezone();
    return zone == ERR_TN_NO_TIME_ZONE ? 0 : zone;
}

void FillDate(bdate& date, const mvb::services::Calendar& c) {
    date.year = c.year;
    date.month = c.month;
    date.day = c.day;
}

void FillTime(btime& time, const mvb::services::Calendar& c, int32_t zone) {
    time.hour = OffsetHour(c.hour);
    time.minute = c.minute;
    time.second = c.second;
    time.zoneMinutes = zone;
}

// The calendar fields of now: UTC, or local time (UTC itself when the zone is
// unknown, matching the zone offset of 0 reported then).
mvb::services::Calendar PlainNow(bool local) {
    uint64_t instant = mvos::SystemTime();
    if (local) ToLocal(instant, &instant);
    mvb::services::Calendar c{};
    mvb::services::SplitInstant(instant, &c);
    return c;
}

void HiresTime(bool local, bdate& date, btime& time, int& nanoseconds) {
    nanoseconds = 0;
    uint64_t instant = mvos::SystemTime();
    if (local && !ToLocal(instant, &instant)) return;
    mvb::services::Calendar c;
    if (!mvb::services::SplitInstant(instant, &c)) return;
    FillTime(time, c, local ? ZoneOrZero() : 0);
    FillDate(date, c);
    nanoseconds = static_cast<int>(c.milliseconds * 1000000u + (instant % 10000u) * 100u);
}

}  // namespace

namespace mvb::services {

// Civil date from the count of days since 1601-01-01 (a proleptic Gregorian
// calendar; 1601 starts a 400-year cycle, so the cycle arithmetic needs no shift).
bool SplitInstant(uint64_t instant, Calendar* out) {
    if (instant >= 0x8000000000000000ull) return false;
    uint64_t ms = instant / 10000u;
    uint64_t days = ms / 86400000u;
    uint32_t msOfDay = static_cast<uint32_t>(ms % 86400000u);

    uint64_t cycles = days / 146097u;  // 400-year cycles
    uint32_t d = static_cast<uint32_t>(days % 146097u);
    uint32_t centuries = d / 36524u;
    if (centuries == 4) centuries = 3;  // the cycle's last day (a leap day)
    d -= centuries * 36524u;
    uint32_t quads = d / 1461u;  // 4-year groups
    d -= quads * 1461u;
    uint32_t years = d / 365u;
    if (years == 4) years = 3;  // the group's last day (a leap day)
    d -= years * 365u;

    uint64_t year = 1601 + cycles * 400 + centuries * 100 + quads * 4 + years;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static const uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint32_t month = 0;
    for (;; ++month) {
        uint32_t length = kMonthDays[month] + (month == 1 && leap ? 1u : 0u);
        if (d < length) break;
        d -= length;
    }
    out->year = static_cast<uint16_t>(year);
    out->month = static_cast<uint8_t>(month + 1);
    out->day = static_cast<uint8_t>(d + 1);
    out->hour = static_cast<uint8_t>(msOfDay / 3600000u);
    out->minute = static_cast<uint8_t>(msOfDay / 60000u % 60u);
    out->second = static_cast<uint8_t>(msOfDay / 1000u % 60u);
    out->milliseconds = static_cast<uint16_t>(msOfDay % 1000u);
    return true;
}

void ResetZoneCache() {
    g_zoneCache.store(kZoneNotRead, std::memory_order_relaxed);
}

}  // namespace mvb::services

// The zone in force when first asked is kept for the life of the process, so a change
// between standard and daylight time later on is not seen.
int bksgettimezone() {
    int32_t zone = g_zoneCache.load(std::memory_order_relaxed);
    if (zone != kZoneNotRead) return zone;
    int32_t minutes = 0;
    zone = mvos::ZoneOffset(mvos::SystemTime(), &minutes) ? minutes : ERR_TN_NO_TIME_ZONE;
    g_zoneCache.store(zone, std::memory_order_relaxed);
    return zone;
}

void bksgetdate(bdate* date) {
    FillDate(*date, PlainNow(true));
}

void bksgettime(btime* time) {
    FillTime(*time, PlainNow(true), ZoneOrZero());
}

void bksgetsystemtime(btime* time, bdate* date) {
    mvb::services::Calendar c = PlainNow(false);
    FillTime(*time, c, 0);
    FillDate(*date, c);
}

void bksGetHiresTime(bdate& date, btime& time, int& nanoseconds) {
    HiresTime(true, date, time, nanoseconds);
}

void bksGetHiresTimeUTC(bdate& date, btime& time, int& nanoseconds) {
    HiresTime(false, date, time, nanoseconds);
}

int TnOffsetHours(int hours) {
    int previous = g_hourOffset;
    g_hourOffset = static_cast<int8_t>(static_cast<uint8_t>(hours & 0xFF));
    return previous;
}
