// Test support of the OS layer: entry points that only tests call, and the scoped
// replacement of one entry of the syscall or clock table. Only tests and the backends
// that implement these entries include this header.
#ifndef MV_OS_OS_TESTING_H
#define MV_OS_OS_TESTING_H

#include <cstddef>
#include <cstdint>

#include "os/os.h"

namespace mvos {

// The backend's own entries of the syscall and clock tables, for calling through to or
// putting back.
const SyscallTable& DefaultSyscalls();
const ClockTable& DefaultClocks();

// Renders a message template with insertion strings, as ReportEvent does. The result
// is at most size - 1 characters; returns the length written.
size_t RenderEventMessage(const char* messageTemplate, const char* const* strings, int count,
                          char* buffer, size_t size);

// The registry's own counter-text loader and unloader (the Linux defaults of the
// syscall table's loadPerfText and unloadPerfText; on Windows a stand-in for tests).
int32_t RegistryLoadPerfText(const char* commandLine, bool quiet);
int32_t RegistryUnloadPerfText(const char* commandLine, bool quiet);

// True when a debugger traces the process.
bool DebuggerAttached();

// Replaces one function pointer of a table (Syscalls(), Clocks()) for the lifetime of
// the object and puts the previous one back. Not for use while other threads call
// through that entry.
template <typename Table, typename Fn>
class ScopedOverride {
  public:
    ScopedOverride(Table& table, Fn Table::*slot, Fn replacement)
        : m_table(table), m_slot(slot), m_saved(table.*slot) {
        m_table.*m_slot = replacement;
    }
    ~ScopedOverride() { m_table.*m_slot = m_saved; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

  private:
    Table& m_table;
    Fn Table::*m_slot;
    Fn m_saved;
};

// One syscall table entry (e.g. &SyscallTable::malloc) replaced for a scope.
template <typename Fn>
struct ScopedSyscall : ScopedOverride<SyscallTable, Fn> {
    ScopedSyscall(Fn SyscallTable::*slot, Fn replacement)
        : ScopedOverride<SyscallTable, Fn>(Syscalls(), slot, replacement) {}
};

// One clock (e.g. &ClockTable::tickCount) replaced for a scope: time stands still,
// jumps or wraps as the replacement says.
template <typename Fn>
struct ScopedClock : ScopedOverride<ClockTable, Fn> {
    ScopedClock(Fn ClockTable::*slot, Fn replacement)
        : ScopedOverride<ClockTable, Fn>(Clocks(), slot, replacement) {}
};

}  // namespace mvos

#endif
