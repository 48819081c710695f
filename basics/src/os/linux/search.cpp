// Linux backend: searching a file in the current directory and along PATH.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/os.h"

namespace mvos {

namespace {

bool IsRegularFile(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// dir + "/" + file into out when it fits and names an existing file.
bool TryIn(const char* dir, size_t dirLength, const char* file, char* out, size_t size) {
    bool slash = dirLength > 0 && dir[dirLength - 1] == '/';
    int n = std::snprintf(out, size, "%.*s%s%s", static_cast<int>(dirLength), dir, slash ? "" : "/",
                          file);
    return n > 0 && static_cast<size_t>(n) < size && IsRegularFile(out);
}

}  // namespace

bool SearchPathForFile(const char* file, char* out, size_t size) {
    if (file == nullptr || out == nullptr || size == 0) return false;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr && TryIn(cwd, std::strlen(cwd), file, out, size))
        return true;
    const char* path = std::getenv("PATH");
    while (path != nullptr && *path != '\0') {
        const char* end = std::strchr(path, ':');
        size_t length = end != nullptr ? static_cast<size_t>(end - path) : std::strlen(path);
        // An empty element of PATH means the current directory, searched already.
        if (length > 0 && TryIn(path, length, file, out, size)) return true;
        path = end != nullptr ? end + 1 : nullptr;
    }
    out[0] = '\0';
    return false;
}

}  // namespace mvos
