// The OS layer: every platform service the library uses, behind one small interface.
//
// Calling code follows its algorithm step by step against these functions and never
// includes system headers for these services. Each platform has a backend folder
// (linux/ today); the build, not the preprocessor, picks it. Results follow the
// original platform's semantics where callers depend on them (0 = success, a
// Win32-style error number otherwise, "buffer too small, here is the size needed").
//
// Tests inject failures through the syscall table (Syscalls()): every injectable
// service calls through one function pointer there, which a test may replace and
// put back (see ScopedSyscall in os_testing.h).
#ifndef MV_OS_OS_H
#define MV_OS_OS_H

#include <cstddef>
#include <cstdint>

namespace mvos {

// Win32-style status numbers that callers test for.
enum Status : int32_t {
    kOk = 0,
    kFileNotFound = 2,
    kAccessDenied = 5,
    kInvalidHandle = 6,
    kNotEnoughMemory = 8,
    kInvalidData = 13,
    kInvalidParameter = 87,
    kMoreData = 234,
    kNoMoreItems = 259,
    kIoError = 1117,
};

// ------------------------------------------------------------------ memory
// The C heap. Malloc/Realloc return null on failure; Realloc leaves the old block
// valid then. Free(null) does nothing.
void* Malloc(size_t size);
void* Realloc(void* block, size_t size);
void Free(void* block);

// ------------------------------------------------------------------ syscall table
// Only services that tests need to make fail go through here.
struct SyscallTable {
    void* (*malloc)(size_t);
    void* (*realloc)(void*, size_t);
    void (*free)(void*);
};
SyscallTable& Syscalls();
// The backend's own entries, for putting the table back.
const SyscallTable& DefaultSyscalls();

// ------------------------------------------------------------------ process and module
// (foundation)

// ------------------------------------------------------------------ module loading
// (foundation)

// ------------------------------------------------------------------ debugger
// (foundation)

// ------------------------------------------------------------------ exceptions and fault guard
// (foundation)

// ------------------------------------------------------------------ event log
// (foundation)

// ------------------------------------------------------------------ message boxes
// (foundation)

// ------------------------------------------------------------------ registry
// (foundation)

// ------------------------------------------------------------------ clocks and time zone
// (platform services)
// Every clock is read through one function pointer of the clock table, which tests may
// replace (ScopedClock in os/clock_testing.h) to make time stand still, jump or wrap.
// The table is constant-initialised, so it is usable during static initialisation.
struct ClockTable {
    // Milliseconds of a monotonic clock, truncated to 32 bits (it wraps after ~49.7 days).
    uint32_t (*tickCount)();
    // A monotonic high-resolution counter and its ticks per second (0: no counter).
    uint64_t (*counter)();
    uint64_t (*counterFrequency)();
    // Current UTC time as a count of 100-nanosecond intervals since 1601-01-01 00:00 UTC.
    uint64_t (*systemTime)();
    // Offset of local time from UTC, in minutes east of Greenwich, in force at the given
    // instant (same unit as systemTime), with daylight saving as the system applies it
    // then. false when the system cannot say.
    bool (*zoneOffset)(uint64_t instant, int32_t* minutesEast);
};
ClockTable& Clocks();
const ClockTable& DefaultClocks();

// Convenience readers, each through the clock table.
inline uint32_t TickCount() { return Clocks().tickCount(); }
inline uint64_t Counter() { return Clocks().counter(); }
inline uint64_t CounterFrequency() { return Clocks().counterFrequency(); }
inline uint64_t SystemTime() { return Clocks().systemTime(); }
inline bool ZoneOffset(uint64_t instant, int32_t* minutesEast) {
    return Clocks().zoneOffset(instant, minutesEast);
}

// ------------------------------------------------------------------ file search along PATH
// (platform services)
// Looks for an existing file named `file` in the current directory and then in each
// directory of the environment variable PATH, in order (the C runtime's search of an
// environment path). On success the full path is stored in out (NUL-terminated) and
// true is returned; false when no such file exists or a found path does not fit in
// size bytes (out is then the empty text when size > 0).
bool SearchPathForFile(const char* file, char* out, size_t size);

// ------------------------------------------------------------------ named shared memory and writer mutex
// (performance data)

}  // namespace mvos

#endif
