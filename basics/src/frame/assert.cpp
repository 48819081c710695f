// The assertion routine every fatal condition ends in.
// (Start-up version: the structured-exception path of the OS layer replaces the throw.)
#include <cstdio>
#include <stdexcept>

#include "frame.h"
#include "syslog.h"

int TARN_assert(const char* expression, const char* file, int32_t line) {
    if (TnFatalErrorCallback cb = GetFatalErrorCallback()) cb(expression, file, line);
    char text[1024];
    std::snprintf(text, sizeof text, "Assertion '%s' failed.\nFile '%s' \nLine %d \n", expression,
                  file, static_cast<int>(line));
    TnSystemLog()->Report(4, "%s", text);
    std::fputs(text, stderr);
    std::fflush(stderr);
    throw std::runtime_error(text);
}
