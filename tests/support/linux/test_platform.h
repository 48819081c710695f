// Test support, Linux: the few system calls the shared test helpers need.
#ifndef MV_TESTS_TEST_PLATFORM_H
#define MV_TESTS_TEST_PLATFORM_H

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace mvtest::platform {

inline std::string TempBase() {
    return "/tmp";
}
inline void SetEnv(const char* name, const char* value) {
    ::setenv(name, value, 1);
}
// The machine's name as the system gives it.
inline std::string HostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}
// This test program's own file.
inline std::string OwnProgram() {
    std::error_code ignored;
    return std::filesystem::canonical("/proc/self/exe", ignored).string();
}
inline void UnsetEnv(const char* name) {
    ::unsetenv(name);
}

}  // namespace mvtest::platform

#endif
