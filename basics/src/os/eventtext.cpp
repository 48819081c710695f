// Event messages: a template of the library's message table with its insertion
// strings filled in, as the event log of either backend receives it.
#include <cstring>
#include <string>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

size_t RenderEventMessage(const char* messageTemplate, const char* const* strings, int count,
                          char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string out;
    auto insertion = [&](int i) -> const char* {
        return (i >= 0 && i < count && strings != nullptr && strings[i] != nullptr) ? strings[i]
                                                                                    : "";
    };
    if (messageTemplate == nullptr) {
        for (int i = 0; i < count; ++i) {
            if (i > 0) out += ' ';
            out += insertion(i);
        }
    } else {
        for (const char* p = messageTemplate; *p; ++p) {
            if (*p != '%' || p[1] == '\0') {
                out += *p;
                continue;
            }
            char next = p[1];
            if (next >= '1' && next <= '9') {
                out += insertion(next - '1');
                ++p;
            } else if (next == 'n') {
                out += '\n';
                ++p;
                if (p[1] == '\r' && p[2] == '\n') p += 2;
            } else if (next == '%') {
                out += '%';
                ++p;
            } else {
                out += *p;
            }
        }
    }
    size_t n = out.size() < size ? out.size() : size - 1;
    std::memcpy(buffer, out.data(), n);
    buffer[n] = '\0';
    return n;
}

}  // namespace mvos
