// Windows backend: process, own module, module loading, last error and debugger.
#include "os/win32/system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/common.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "os/win32/internal.h"

namespace mvos {

namespace {

thread_local uint32_t t_lastError = 0;
// The loader's message for the last failed load on this thread, kept with its code.
thread_local char t_loaderText[512];
thread_local uint32_t t_loaderCode = 0;

constexpr DWORD kLongPath = 32768;

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

// GetModuleFileName into a buffer of the longest path, then the caller's rules.
size_t CopyModuleFileName(HMODULE module, char* buffer, size_t size) {
    std::string name(kLongPath, '\0');
    const DWORD n = ::GetModuleFileNameA(module, &name[0], kLongPath);
    if (n == 0 || n >= kLongPath) {
        SetLastError(module != nullptr ? kInvalidHandle : kFileNotFound);
        return 0;
    }
    name.resize(n);
    return CopyName(name, buffer, size);
}

}  // namespace

std::string SystemErrorText(uint32_t code) {
    char text[512];
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
    return std::string(text, n);
}

uint32_t LastError() {
    return t_lastError;
}
void SetLastError(uint32_t code) {
    t_lastError = code;
}

size_t ErrorText(uint32_t code, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string text;
    if (code != 0 && code == t_lastError && code == t_loaderCode) text = t_loaderText;
    if (text.empty()) text = SystemErrorText(code);
    if (text.empty()) text = "System error " + std::to_string(code) + ".";
    const size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

uint32_t ProcessId() {
    return ::GetCurrentProcessId();
}

size_t ExecutablePath(char* buffer, size_t size) {
    return CopyModuleFileName(nullptr, buffer, size);
}

ModuleHandle OwnModule() {
    static ModuleHandle own = [] {
        HMODULE module = nullptr;
        ::GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&OwnModule), &module);
        return reinterpret_cast<ModuleHandle>(module);
    }();
    return own;
}

size_t OwnModuleFileName(char* buffer, size_t size) {
    return CopyModuleFileName(reinterpret_cast<HMODULE>(OwnModule()), buffer, size);
}

bool ComputerName(char* buffer, uint32_t* size) {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (size == nullptr || !::GetComputerNameA(name, &length)) {
        SetLastError(kInvalidParameter);
        return false;
    }
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
    return (::GetVersion() & 0x80000000u) == 0;
}

const char* GetEnv(const char* name) {
    return name != nullptr ? std::getenv(name) : nullptr;
}

bool IsFile(const char* path) {
    if (path == nullptr) return false;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// ------------------------------------------------------------------ module loading

const char* ModuleSuffix() {
    return ".dll";
}
char PathSeparator() {
    return '\\';
}

void* SystemLoadLibrary(const char* path, int) {
    // A module given by path finds the modules it needs beside itself.
    const bool hasFolder = std::strpbrk(path, "\\/") != nullptr;
    return ::LoadLibraryExA(path, nullptr, hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}

ModuleHandle LoadModule(const char* path) {
    if (path == nullptr || *path == '\0') {
        SetLastError(kInvalidParameter);
        return nullptr;
    }
    // No error dialog box for a module that cannot be loaded.
    const UINT mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ::SetLastError(0);
    void* handle = Syscalls().dlopen(path, 0);
    const DWORD error = ::GetLastError();
    ::SetErrorMode(mode);
    if (handle != nullptr) return static_cast<ModuleHandle>(handle);
    std::string message = SystemErrorText(error);
    std::snprintf(t_loaderText, sizeof t_loaderText, "%s: %s", path,
                  message.empty() ? "The module could not be loaded." : message.c_str());
    // A path that names no file is "not found"; anything else could not be loaded.
    const bool hasFolder = std::strpbrk(path, "\\/") != nullptr;
    const bool exists = hasFolder ? ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES
                                  : error != ERROR_MOD_NOT_FOUND && error != ERROR_FILE_NOT_FOUND;
    t_loaderCode = exists ? kBadExeFormat : kModNotFound;
    SetLastError(t_loaderCode);
    return nullptr;
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(module == nullptr ? kInvalidHandle : kInvalidParameter);
        return nullptr;
    }
    void* address =
        reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
    if (address == nullptr) SetLastError(kProcNotFound);
    return address;
}

bool UnloadModule(ModuleHandle module) {
    if (module == nullptr || !::FreeLibrary(reinterpret_cast<HMODULE>(module))) {
        SetLastError(kInvalidHandle);
        return false;
    }
    return true;
}

size_t ModuleFileName(ModuleHandle module, char* buffer, size_t size) {
    return CopyModuleFileName(reinterpret_cast<HMODULE>(module), buffer, size);
}

// ------------------------------------------------------------------ debugger

void DebugOutput(const char* text) {
    if (text == nullptr) return;
    ::OutputDebugStringA(text);
    WriteDebugCopy(text);
}

bool DebuggerAttached() {
    return ::IsDebuggerPresent() != 0;
}

void DebugBreak() {
    if (InsideFaultGuard() || DebuggerAttached()) ::DebugBreak();
}

}  // namespace mvos
