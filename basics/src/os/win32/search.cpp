// Windows backend: searching a file in the current directory and along PATH.
#include "os/win32/system.h"

#include <string>

#include "os/os.h"

namespace mvos {

// The current directory first, then each folder of PATH, as SearchPath does when it is
// given the path to search.
bool SearchPathForFile(const char* file, char* out, size_t size) {
    if (file == nullptr || out == nullptr || size == 0) return false;
    out[0] = '\0';
    const DWORD needed = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string places = ".";
    if (needed > 0) {
        std::string path(needed, '\0');
        const DWORD n = ::GetEnvironmentVariableA("PATH", &path[0], needed);
        path.resize(n);
        places += ";" + path;
    }
    const DWORD capacity = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
    const DWORD n = ::SearchPathA(places.c_str(), file, nullptr, capacity, out, nullptr);
    if (n == 0 || n >= capacity || !IsFile(out)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace mvos
