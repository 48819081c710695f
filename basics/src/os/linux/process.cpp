// Linux backend: process, own module, module loading, last error and debugger.
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/common.h"
#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

namespace {

thread_local uint32_t t_lastError = 0;
// The loader's message for the last failed load on this thread, kept with its code.
thread_local char t_loaderText[512];
thread_local uint32_t t_loaderCode = 0;

// Copies text into buffer with the module-file-name result rules.
size_t CopyName(const std::string& name, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        SetLastError(kInsufficientBuffer);
        return 0;
    }
    if (name.size() + 1 > size) {
        std::memcpy(buffer, name.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(kInsufficientBuffer);
        return size;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return name.size();
}

std::string ReadExecutablePath() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string();
    return std::string(path, static_cast<size_t>(n));
}

std::string FullPath(const char* name) {
    char resolved[PATH_MAX];
    if (name != nullptr && ::realpath(name, resolved) != nullptr) return resolved;
    return name != nullptr ? std::string(name) : std::string();
}

// The file behind a link map entry; the main program has an empty name.
std::string LinkMapFile(const link_map* map) {
    if (map == nullptr) return std::string();
    if (map->l_name == nullptr || map->l_name[0] == '\0') return ReadExecutablePath();
    return FullPath(map->l_name);
}

// The full file name of a loaded object into the caller's buffer; 0 and "file not found"
// when the name cannot be had.
size_t CopyLinkMapFile(const link_map* map, char* buffer, size_t size) {
    std::string name = LinkMapFile(map);
    if (name.empty()) {
        SetLastError(kFileNotFound);
        return 0;
    }
    return CopyName(name, buffer, size);
}

struct ErrorEntry {
    uint32_t code;
    const char* text;
};
const ErrorEntry kErrorTexts[] = {
    {kOk, "The operation completed successfully."},
    {kFileNotFound, "The system cannot find the file specified."},
    {kAccessDenied, "Access is denied."},
    {kInvalidHandle, "The handle is invalid."},
    {kNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {kInvalidData, "The data is invalid."},
    {kInvalidParameter, "The parameter is incorrect."},
    {kDiskFull, "There is not enough space on the disk."},
    {kInsufficientBuffer, "The data area passed to a system call is too small."},
    {kModNotFound, "The specified module could not be found."},
    {kProcNotFound, "The specified procedure could not be found."},
    {kBusy, "The requested resource is in use."},
    {kBadExeFormat, "The module is not a valid shared object."},
    {kMoreData, "More data is available."},
    {kNoMoreItems, "No more data is available."},
    {kRegistryCorrupt, "The registry database is corrupt."},
    {kKeyDeleted,
     "Illegal operation attempted on a registry key that has been marked for deletion."},
    {kIoError, "The request could not be performed because of an I/O device error."},
};

}  // namespace

uint32_t LastError() {
    return t_lastError;
}
void SetLastError(uint32_t code) {
    t_lastError = code;
}

size_t ErrorText(uint32_t code, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const char* text = nullptr;
    if (code != 0 && code == t_lastError && code == t_loaderCode) text = t_loaderText;
    for (const ErrorEntry& e : kErrorTexts) {
        if (text == nullptr && e.code == code) text = e.text;
    }
    char fallback[64];
    if (text == nullptr) {
        std::snprintf(fallback, sizeof fallback, "System error %lu.",
                      static_cast<unsigned long>(code));
        text = fallback;
    }
    int n = std::snprintf(buffer, size, "%s", text);
    if (n < 0) return 0;
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

uint32_t ProcessId() {
    return static_cast<uint32_t>(::getpid());
}

size_t ExecutablePath(char* buffer, size_t size) {
    std::string path = ReadExecutablePath();
    if (path.empty()) {
        SetLastError(kFileNotFound);
        return 0;
    }
    return CopyName(path, buffer, size);
}

ModuleHandle OwnModule() {
    static ModuleHandle own = [] {
        Dl_info info{};
        void* handle = nullptr;
        if (::dladdr(reinterpret_cast<void*>(&OwnModule), &info) != 0 && info.dli_fname) {
            // The library is loaded while this code runs: a handle without a reference
            // of its own stays valid for the life of the library.
            handle = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
            if (handle != nullptr) ::dlclose(handle);
        }
        if (handle == nullptr) handle = ::dlopen(nullptr, RTLD_LAZY);  // linked into the program
        return static_cast<ModuleHandle>(handle);
    }();
    return own;
}

size_t OwnModuleFileName(char* buffer, size_t size) {
    Dl_info info{};
    link_map* map = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(&OwnModuleFileName), &info,
                  reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) {
        SetLastError(kModNotFound);
        return 0;
    }
    return CopyLinkMapFile(map, buffer, size);
}

bool ComputerName(char* buffer, uint32_t* size) {
    char name[HOST_NAME_MAX + 1] = {};
    if (size == nullptr || ::gethostname(name, sizeof name - 1) != 0) {
        SetLastError(kInvalidParameter);
        return false;
    }
    uint32_t length = static_cast<uint32_t>(std::strlen(name));
    if (buffer == nullptr || *size < length + 1) {
        *size = length + 1;
        SetLastError(kInsufficientBuffer);
        return false;
    }
    std::memcpy(buffer, name, length + 1);
    *size = length;
    return true;
}

bool IsNtFamily() {
    return true;
}

const char* GetEnv(const char* name) {
    return name != nullptr ? std::getenv(name) : nullptr;
}

bool IsFile(const char* path) {
    struct stat st;
    return path != nullptr && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// ------------------------------------------------------------------ module loading

const char* ModuleSuffix() {
    return ".so";
}
char PathSeparator() {
    return '/';
}

ModuleHandle LoadModule(const char* path) {
    if (path == nullptr || *path == '\0') {
        SetLastError(kInvalidParameter);
        return nullptr;
    }
    void* handle = Syscalls().dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) return static_cast<ModuleHandle>(handle);
    const char* message = ::dlerror();
    std::snprintf(t_loaderText, sizeof t_loaderText, "%s",
                  message != nullptr ? message : "The module could not be loaded.");
    // A path that names no file is "not found"; anything else could not be loaded.
    bool exists = std::strchr(path, '/') == nullptr
                      ? std::strstr(t_loaderText, "No such") == nullptr
                      : ::access(path, F_OK) == 0;
    t_loaderCode = exists ? kBadExeFormat : kModNotFound;
    SetLastError(t_loaderCode);
    return nullptr;
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(module == nullptr ? kInvalidHandle : kInvalidParameter);
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(module, name);
    if (address == nullptr) SetLastError(kProcNotFound);
    return address;
}

bool UnloadModule(ModuleHandle module) {
    if (module == nullptr) {
        SetLastError(kInvalidHandle);
        return false;
    }
    if (::dlclose(module) != 0) {
        SetLastError(kInvalidHandle);
        return false;
    }
    return true;
}

size_t ModuleFileName(ModuleHandle module, char* buffer, size_t size) {
    link_map* map = nullptr;
    if (module == nullptr) return ExecutablePath(buffer, size);
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        SetLastError(kInvalidHandle);
        return 0;
    }
    return CopyLinkMapFile(map, buffer, size);
}

// ------------------------------------------------------------------ debugger

void DebugOutput(const char* text) {
    WriteDebugCopy(text);
}

bool DebuggerAttached() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return false;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return tracer != 0;
}

void DebugBreak() {
    if (InsideFaultGuard() || DebuggerAttached()) ::raise(SIGTRAP);
}

}  // namespace mvos
