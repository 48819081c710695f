// The assertion routine every fatal condition ends in, and the exception it raises.
#include <cstdio>

#include "frame.h"
#include "os/os.h"
#include "systemlog.h"

TnException::~TnException() = default;

const char* TnException::what() const noexcept {
    return m_code == TN_ASSERTION_EXCEPTION ? "Merivane assertion exception 0xE0000001"
                                            : "Merivane exception";
}

void* TnAddExceptionHandler(TnExceptionHandler handler, void* context) {
    return mvos::AddExceptionHandler(handler, context);
}

int TnRemoveExceptionHandler(void* cookie) {
    return mvos::RemoveExceptionHandler(cookie) ? 0 : ERR_TN_FAILED;
}

int TARN_assert(const char* expression, const char* file, int32_t line) {
    if (TnFatalErrorCallback callback = GetFatalErrorCallback()) callback(expression, file, line);
    char text[1024];
    std::snprintf(text, sizeof text, "Assertion '%s' failed.\nFile '%s' \nLine %d \n",
                  expression != nullptr ? expression : "(null)", file != nullptr ? file : "(null)",
                  static_cast<int>(line));
    TnSystemLog()->Report(4, "%s", text);
    std::fputs(text, stderr);
    std::fflush(stderr);
    mvos::RaiseException(TN_ASSERTION_EXCEPTION);
    return 1;  // a host handler continued execution
}
