// Linux backend: the C heap and the syscall table.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "os/linux/internal.h"
#include "os/linux/sqlite_api.h"
#include "os/os.h"
#include "os/os_testing.h"

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
    [](const char* name, int flags, unsigned mode) {
        return ::shm_open(name, flags, static_cast<mode_t>(mode));
    },
    [](const char* name) { return ::shm_unlink(name); },
    [](const char* path, int flags, unsigned mode) {
        return ::open(path, flags, static_cast<mode_t>(mode));
    },
    [](const char* path, unsigned mode) { return ::mkdir(path, static_cast<mode_t>(mode)); },
    [](int fd, int64_t length) { return ::ftruncate(fd, static_cast<off_t>(length)); },
    [](int fd, unsigned mode) { return ::fchmod(fd, static_cast<mode_t>(mode)); },
    [](void* address, size_t length, int protection, int flags, int fd, int64_t offset) {
        return ::mmap(address, length, protection, flags, fd, static_cast<off_t>(offset));
    },
    [](int fd, int operation) { return ::flock(fd, operation); },
    RegistryLoadPerfText,
    RegistryUnloadPerfText,
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
