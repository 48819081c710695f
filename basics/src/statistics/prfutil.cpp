// Small helpers of the performance-data code.
#include <cstdio>

#include "statistics/prfinternal.h"

namespace mvb::statistics {

bool PerformanceKeyPath(const char* appName, char* buf, size_t size) {
    int n =
        std::snprintf(buf, size, "SYSTEM\\CurrentControlSet\\Services\\%s\\Performance", appName);
    return n > 0 && static_cast<size_t>(n) < size;
}

void ToNarrow(const char16_t* text, char* buf, size_t size) {
    if (size == 0) return;
    size_t i = 0;
    for (; text && text[i] != 0 && i + 1 < size; ++i)
        buf[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    buf[i] = 0;
}

bool ReadKeyDword(mvos::RegKey key, const char* valueName, uint32_t* value) {
    uint32_t type = 0;
    uint32_t data = 0;
    uint32_t size = sizeof data;
    if (mvos::RegQueryValue(key, valueName, &type, &data, &size) != mvos::kOk ||
        type != mvos::kRegDword || size != sizeof data)
        return false;
    *value = data;
    return true;
}

uint32_t InstanceNameChars(const char16_t* name, uint32_t capacity) {
    uint32_t n = 0;
    while (n + 1 < capacity && name[n] != 0) ++n;
    return n;
}

}  // namespace mvb::statistics
