// Windows backend: raised exceptions and the fault guard, on the system's exception
// dispatch. One vectored handler, added at the first use, serves both:
// - an exception raised by RaiseException (marked with this module's cookie) is shown
//   to the host's handler chain; when one continues, execution continues after the
//   raise, otherwise the raise throws RaisedException once dispatch has returned;
// - an access violation, in-page error or breakpoint on a thread inside a fault guard
//   resumes at a landing routine that jumps back to the guard.
// Every other exception (C++ throws included) goes on to the handlers after it.
#include "os/win32/system.h"

#include <mutex>

#include "os/common.h"
#include "os/os.h"

namespace mvos {

namespace {

// The parameter that marks this module's raises.
const ULONG_PTR kRaiseCookie = 0x4D564253u;  // "MVBS"

struct GuardFrame {
    void* jump[5];  // __builtin_setjmp's buffer
    GuardFrame* outer;
    uint32_t code;
};
thread_local GuardFrame* t_guard = nullptr;
thread_local bool t_raiseContinued = false;

bool GuardedCode(DWORD code) {
    return code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_IN_PAGE_ERROR ||
           code == EXCEPTION_BREAKPOINT;
}

// Runs on the faulting thread's stack once the system has left the handler: unwinds
// nothing, jumps to the guard that was innermost when the fault happened.
[[noreturn]] void LandInGuard() {
    GuardFrame* frame = t_guard;
    t_guard = frame->outer;
    __builtin_longjmp(frame->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const DWORD code = record->ExceptionCode;
    if (record->NumberParameters == 1 && record->ExceptionInformation[0] == kRaiseCookie) {
        t_raiseContinued = HandlersContinue(code);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    GuardFrame* frame = t_guard;
    if (frame == nullptr || !GuardedCode(code)) return EXCEPTION_CONTINUE_SEARCH;
    frame->code = code;
    CONTEXT* context = info->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    // Below the faulting frame's red zone, aligned as at a call's entry.
    DWORD64 sp = (context->Rsp - 256) & ~static_cast<DWORD64>(15);
    context->Rsp = sp - 8;
    context->Rip = reinterpret_cast<DWORD64>(&LandInGuard);
#else
    DWORD sp = (context->Esp - 256) & ~static_cast<DWORD>(15);
    context->Esp = sp - 4;
    context->Eip = reinterpret_cast<DWORD>(&LandInGuard);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallHandler() {
    static std::once_flag once;
    std::call_once(once, [] { ::AddVectoredExceptionHandler(1, OnException); });
}

}  // namespace

bool InsideFaultGuard() {
    return t_guard != nullptr;
}

void RaiseException(uint32_t code) {
    InstallHandler();
    t_raiseContinued = false;
    const ULONG_PTR parameter = kRaiseCookie;
    ::RaiseException(code, 0, 1, &parameter);
    if (t_raiseContinued) return;
    throw RaisedException(code);
}

// Kept out of line, so the jump buffer's frame is this function's own.
__attribute__((noinline)) uint32_t RunGuarded(void (*fn)(void*), void* arg) {
    InstallHandler();
    GuardFrame frame;
    frame.outer = t_guard;
    frame.code = 0;
    if (__builtin_setjmp(frame.jump) != 0) {
        // Back from LandInGuard: the guard frame is already popped.
        return frame.code;
    }
    t_guard = &frame;
    uint32_t code = 0;
    try {
        fn(arg);
    } catch (const RaisedException& e) {
        code = e.Code();
    } catch (...) {
        t_guard = frame.outer;
        throw;
    }
    t_guard = frame.outer;
    return code;
}

}  // namespace mvos
