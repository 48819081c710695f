// Windows backend: the C heap and the syscall table. The database, socket and POSIX
// entries belong to the Linux backend and stay null here.
#include "os/win32/system.h"

#include <cstdlib>

#include "os/os.h"
#include "os/os_testing.h"
#include "os/win32/internal.h"

namespace mvos {

namespace {
const SyscallTable kDefaults = {
    [](size_t n) { return std::malloc(n); },
    [](void* p, size_t n) { return std::realloc(p, n); },
    [](void* p) { std::free(p); },
    SystemLoadLibrary,
    nullptr,
    nullptr,
    ReportToEventLog,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    SystemLoadPerfText,
    SystemUnloadPerfText,
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

namespace {

// The system's counter-text loader lives in loadperf.dll, loaded at the first use (the
// i686 toolchain has no import library for it). Both functions take the command line
// and the quiet flag and answer a Win32 status.
using PerfTextCall = DWORD(WINAPI*)(LPSTR, BOOL);

int32_t CallLoadPerf(const char* function, const char* commandLine, bool quiet) {
    static HMODULE module = ::LoadLibraryA("loadperf.dll");
    if (module == nullptr) return kModNotFound;
    auto call =
        reinterpret_cast<PerfTextCall>(reinterpret_cast<void*>(::GetProcAddress(module, function)));
    if (call == nullptr) return kProcNotFound;
    return static_cast<int32_t>(call(const_cast<char*>(commandLine), quiet));
}

}  // namespace

int32_t SystemLoadPerfText(const char* commandLine, bool quiet) {
    return CallLoadPerf("LoadPerfCounterTextStringsA", commandLine, quiet);
}

int32_t SystemUnloadPerfText(const char* commandLine, bool quiet) {
    return CallLoadPerf("UnloadPerfCounterTextStringsA", commandLine, quiet);
}

}  // namespace mvos
