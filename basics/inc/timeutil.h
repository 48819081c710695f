// Platform services: calendar date and time with the time-zone offset, and timers.
//
// Threads: the date and time functions may run on any thread at once (the zone offset is
// read once and shared atomically); a timer object is used by one thread at a time.
#ifndef MV_TIMEUTIL_H
#define MV_TIMEUTIL_H

#include "mvexport.h"

// ---------------------------------------------------------------- date and time

struct bdate {
    uint16_t year;  // full year
    uint8_t month;  // 1..12
    uint8_t day;    // 1..31
};

struct btime {
    uint8_t hour;  // 0..23 plus the process-wide hour offset (8-bit arithmetic)
    uint8_t minute;
    uint8_t second;
    int32_t zoneMinutes;  // minutes east of UTC; 0 for UTC times and an unknown zone
};

// The local date.
MVB_API void bksgetdate(bdate* date);
// The current UTC time and date; zoneMinutes is 0.
MVB_API void bksgetsystemtime(btime* time, bdate* date);
// Minutes east of UTC, read once per process; -2171 when the system cannot say
// (and for the rest of the process).
MVB_API int bksgettimezone();
// The local time of day with the zone offset (0 when the zone is unknown).
MVB_API void bksgettime(btime* time);
// Local (or UTC) date and time and the fraction of the current second in
// nanoseconds, at a resolution of 100 ns.
MVB_API void bksGetHiresTime(bdate& date, btime& time, int& nanoseconds);
MVB_API void bksGetHiresTimeUTC(bdate& date, btime& time, int& nanoseconds);
// Sets the hour offset to the low 8 bits of hours; returns the previous offset.
MVB_API int TnOffsetHours(int hours);

// ---------------------------------------------------------------- timers

// Measures durations: the start mark (Start) and the accumulated time (Stop adds the
// time since the start mark). ElapsedTime and IsTimeOver measure from the start mark;
// Seconds, MilliSeconds and Ticks report the accumulated time. Instances come from
// MakeTimer / MakeHiResTimer and belong to the caller.
class MVB_API TnTimer {
  public:
    virtual ~TnTimer();
    virtual uint32_t TicksPerSecond();
    virtual void Start();
    virtual void Stop();
    virtual void Reset();
    // 1 when at least `seconds` have passed since the start mark (and, with restart,
    // the start mark moves to now); 0 otherwise.
    virtual int IsTimeOver(unsigned int seconds, int restart);
    virtual double Seconds() const;
    virtual uint32_t MilliSeconds() const;
    virtual uint64_t Ticks() const;
    // Milliseconds since the start mark.
    virtual uint32_t ElapsedTime() const;
    // The projected whole duration in ms: ElapsedTime() * 100 / percentDone; 0 for
    // percentDone 0 or 100 and above.
    virtual uint32_t EstimatedTimeLeft(unsigned int percentDone) const;
    // Splits milliseconds (0xFFFFFFFF: ElapsedTime()) into hours, minutes and
    // seconds; returns the remaining milliseconds.
    virtual uint32_t HourMinSec(unsigned int& hours, unsigned int& minutes, unsigned int& seconds,
                                unsigned int milliseconds) const;

    // A millisecond timer on the system tick count, or null when memory is exhausted.
    static TnTimer* MakeTimer();
    // A timer on the high-resolution counter, or null when memory is exhausted.
    static TnTimer* MakeHiResTimer();

    // Timers are allocated from the C heap; a failed allocation calls the memory
    // handler and yields null.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
};

// Milliseconds of the system tick count; differences in 32-bit arithmetic, so one
// wrap of the tick count between two readings is harmless.
class MVB_API WindowsTimer : public TnTimer {
  public:
    WindowsTimer() : m_start(0), m_accumulated(0) {}
    ~WindowsTimer() override;
    uint32_t TicksPerSecond() override;
    void Start() override;
    void Stop() override;
    void Reset() override;
    int IsTimeOver(unsigned int seconds, int restart) override;
    double Seconds() const override;
    uint32_t MilliSeconds() const override;
    uint64_t Ticks() const override;
    uint32_t ElapsedTime() const override;

    uint32_t m_start;
    uint32_t m_accumulated;
};

// Ticks of the high-resolution counter, whose frequency is read once at load.
class MVB_API Win32HiResTimer : public TnTimer {
  public:
    Win32HiResTimer() : m_start(0), m_accumulated(0) {}
    ~Win32HiResTimer() override;
    uint32_t TicksPerSecond() override;
    void Start() override;
    void Stop() override;
    void Reset() override;
    int IsTimeOver(unsigned int seconds, int restart) override;
    double Seconds() const override;
    uint32_t MilliSeconds() const override;
    uint64_t Ticks() const override;
    uint32_t ElapsedTime() const override;

    uint64_t m_start;
    uint64_t m_accumulated;
};

#endif
