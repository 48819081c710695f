// The assertion routine every fatal condition ends in, and the exception it raises.
#include <cstdio>

#include "frame.h"
#include "os/os.h"
#include "systemlog.h"

// The host's handler answers and the assertion code are the OS layer's.
static_assert(TN_EXCEPTION_CONTINUE_EXECUTION == mvos::kContinueExecution &&
                  TN_EXCEPTION_CONTINUE_SEARCH == mvos::kContinueSearch,
              "handler answers");
static_assert(TN_ASSERTION_EXCEPTION == mvos::kAssertionException, "assertion code");

namespace {

// Raises through the OS layer. An exception that no host handler continued leaves the
// layer as its RaisedException; a fault guard of this thread takes it as it is, anyone
// else receives the public TnException.
void Raise(uint32_t code) {
    try {
        mvos::RaiseException(code);
    } catch (const mvos::RaisedException& e) {
        if (mvos::InsideFaultGuard()) throw;
        throw TnException(e.Code());
    }
}

}  // namespace

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
    Raise(TN_ASSERTION_EXCEPTION);
    return 1;  // a host handler continued execution
}
