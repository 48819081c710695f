// Test support, Windows: the few system calls the shared test helpers need.
#ifndef MV_TESTS_TEST_PLATFORM_H
#define MV_TESTS_TEST_PLATFORM_H

#include <stdlib.h>

#include <filesystem>
#include <string>

// Declared here rather than through <windows.h>, whose performance-data types would
// meet the library's own published ones (prfdata.h) in the same test.
extern "C" __declspec(dllimport) int __stdcall GetComputerNameA(char* name, unsigned long* size);
struct HINSTANCE__;  // HMODULE as <windows.h> declares it, so both declarations agree
extern "C" __declspec(dllimport) unsigned long __stdcall GetModuleFileNameA(HINSTANCE__* module,
                                                                            char* name,
                                                                            unsigned long size);

namespace mvtest::platform {

inline std::string TempBase() {
    std::error_code ignored;
    return std::filesystem::temp_directory_path(ignored).string();
}
inline void SetEnv(const char* name, const char* value) {
    ::_putenv_s(name, value);
}
// The machine's name as the system gives it.
inline std::string HostName() {
    char name[256] = {};
    unsigned long size = sizeof name;
    ::GetComputerNameA(name, &size);
    return name;
}
// This test program's own file.
inline std::string OwnProgram() {
    char name[4096] = {};
    ::GetModuleFileNameA(nullptr, name, sizeof name);
    return name;
}
// An empty value removes the variable.
inline void UnsetEnv(const char* name) {
    ::_putenv_s(name, "");
}

}  // namespace mvtest::platform

#endif
