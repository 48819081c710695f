// mvbasics error <code>...: prints "code -> text" for each result code.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "mvbasics.h"

namespace {

// A whole decimal argument within the range of a result code.
bool ParseCode(const char* text, int* code) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *code = static_cast<int>(value);
    return true;
}

}  // namespace

int CmdError(int argc, char** argv) {
    if (argc < 1) {
        std::fprintf(stderr, "usage: mvbasics error <code>...\n");
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        int code = 0;
        if (!ParseCode(argv[i], &code)) {
            std::fprintf(stderr, "mvbasics error: '%s' is not a result code\n", argv[i]);
            status = 2;
            continue;
        }
        std::printf("%d -> %s\n", code, TnError(nullptr, nullptr, code, 1));
    }
    return status;
}
