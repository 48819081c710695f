// Linux backend: the C heap and the syscall table.
#include <dlfcn.h>
#include <sqlite3.h>
#include <syslog.h>

#include <cstdlib>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

namespace {
const SyscallTable kDefaults = {
    [](size_t n) { return std::malloc(n); },
    [](void* p, size_t n) { return std::realloc(p, n); },
    [](void* p) { std::free(p); },
    [](const char* path, int flags) { return ::dlopen(path, flags); },
    [](sqlite3_stmt* stmt) { return ::sqlite3_step(stmt); },
    [](int priority, const char* ident, const char* message) {
        ::openlog(ident, LOG_PID, LOG_USER);
        ::syslog(priority, "%s", message);
        ::closelog();
    },
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
