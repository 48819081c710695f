// Test support for the OS layer: replace one syscall table entry for a scope.
#ifndef MV_OS_OS_TESTING_H
#define MV_OS_OS_TESTING_H

#include "os/os.h"

namespace mvos {

template <typename Fn>
class ScopedSyscall {
public:
    ScopedSyscall(Fn SyscallTable::*slot, Fn replacement)
        : m_slot(slot), m_saved(Syscalls().*slot) {
        Syscalls().*slot = replacement;
    }
    ~ScopedSyscall() { Syscalls().*m_slot = m_saved; }
    ScopedSyscall(const ScopedSyscall&) = delete;
    ScopedSyscall& operator=(const ScopedSyscall&) = delete;

private:
    Fn SyscallTable::*m_slot;
    Fn m_saved;
};

}  // namespace mvos

#endif
