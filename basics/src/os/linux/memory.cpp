// Linux backend: the C heap and the syscall table.
#include <cstdlib>

#include "os/os.h"

namespace mvos {

namespace {
const SyscallTable kDefaults = {
    [](size_t n) { return std::malloc(n); },
    [](void* p, size_t n) { return std::realloc(p, n); },
    [](void* p) { std::free(p); },
};
SyscallTable g_table = kDefaults;
}  // namespace

SyscallTable& Syscalls() { return g_table; }
const SyscallTable& DefaultSyscalls() { return kDefaults; }

void* Malloc(size_t size) { return g_table.malloc(size); }
void* Realloc(void* block, size_t size) { return g_table.realloc(block, size); }
void Free(void* block) { g_table.free(block); }

}  // namespace mvos
