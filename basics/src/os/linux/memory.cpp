// Linux backend: the C heap and the syscall table.
#include <dlfcn.h>

#include <cstdlib>

#include "os/linux/internal.h"
#include "os/linux/sqlite_api.h"
#include "os/os.h"

namespace mvos {

namespace {
const SyscallTable kDefaults = {
    [](size_t n) { return std::malloc(n); },
    [](void* p, size_t n) { return std::realloc(p, n); },
    [](void* p) { std::free(p); },
    [](const char* path, int flags) { return ::dlopen(path, flags); },
    SqliteStep,
    SqliteWrite,
    SendToSystemLog,
    "/run/systemd/journal/socket",
    "/dev/log",
    DefaultJournalSendv,
};
SyscallTable g_table = kDefaults;
}  // namespace

SyscallTable& Syscalls() {
    return g_table;
}
const SyscallTable& DefaultSyscalls() {
    return kDefaults;
}

void* Malloc(size_t size) {
    return g_table.malloc(size);
}
void* Realloc(void* block, size_t size) {
    return g_table.realloc(block, size);
}
void Free(void* block) {
    g_table.free(block);
}

}  // namespace mvos
