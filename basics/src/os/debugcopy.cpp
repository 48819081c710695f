// The copy of the debugger output that MERIVANE_DEBUG_OUTPUT asks for: "stderr" writes
// each text with the prefix "[debug] " to standard error, anything else names a file
// the text is appended to.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/common.h"

namespace mvos {

void WriteDebugCopy(const char* text) {
    const char* target = std::getenv("MERIVANE_DEBUG_OUTPUT");
    if (target == nullptr || *target == '\0' || text == nullptr) return;
    size_t length = std::strlen(text);
    bool newline = length == 0 || text[length - 1] != '\n';
    if (std::strcmp(target, "stderr") == 0) {
        std::fprintf(stderr, "[debug] %s%s", text, newline ? "\n" : "");
        std::fflush(stderr);
        return;
    }
    if (FILE* f = std::fopen(target, "a")) {
        std::fprintf(f, "%s%s", text, newline ? "\n" : "");
        std::fclose(f);
    }
}

}  // namespace mvos
