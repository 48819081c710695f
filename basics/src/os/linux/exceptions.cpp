// Linux backend: raised exceptions and the fault guard (the handler chain is shared:
// ../handlers.cpp).
#include <setjmp.h>
#include <signal.h>

#include <mutex>

#include "os/common.h"
#include "os/os.h"

namespace mvos {

namespace {

// ------------------------------------------------------------------ fault guard

const int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGTRAP};
constexpr int kSignalCount = sizeof kGuardedSignals / sizeof kGuardedSignals[0];

struct GuardFrame {
    sigjmp_buf jump;
    GuardFrame* outer;
};
thread_local GuardFrame* t_guard = nullptr;

std::mutex g_signalLock;
int g_activeGuards = 0;  // guards running in all threads
struct sigaction g_saved[kSignalCount];

uint32_t CodeOfSignal(int sig) {
    switch (sig) {
        case SIGSEGV:
            return kAccessViolation;
        case SIGBUS:
            return kInPageError;
        default:
            return kBreakpoint;
    }
}

void OnFault(int sig, siginfo_t*, void*) {
    if (GuardFrame* frame = t_guard) {
        t_guard = frame->outer;
        siglongjmp(frame->jump, static_cast<int>(CodeOfSignal(sig) & 0x7FFFFFFFu));
    }
    // A fault outside any guard (another thread's): the previous disposition decides.
    for (int i = 0; i < kSignalCount; ++i) {
        if (kGuardedSignals[i] == sig) sigaction(sig, &g_saved[i], nullptr);
    }
    raise(sig);
}

void InstallSignals() {
    std::lock_guard<std::mutex> lock(g_signalLock);
    if (g_activeGuards++ > 0) return;
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) sigaction(kGuardedSignals[i], &action, &g_saved[i]);
}

void RestoreSignals() {
    std::lock_guard<std::mutex> lock(g_signalLock);
    if (--g_activeGuards > 0) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kGuardedSignals[i], &g_saved[i], nullptr);
}

}  // namespace

bool InsideFaultGuard() {
    return t_guard != nullptr;
}

void RaiseException(uint32_t code) {
    if (HandlersContinue(code)) return;
    throw RaisedException(code);
}

uint32_t RunGuarded(void (*fn)(void*), void* arg) {
    GuardFrame frame;
    frame.outer = t_guard;
    InstallSignals();
    uint32_t code = 0;
    int jumped = sigsetjmp(frame.jump, 1);
    if (jumped == 0) {
        t_guard = &frame;
        try {
            fn(arg);
        } catch (const RaisedException& e) {
            code = e.Code();
        } catch (...) {
            t_guard = frame.outer;
            RestoreSignals();
            throw;
        }
        t_guard = frame.outer;
    } else {
        // Every code the guard reports has its top bit set; the jump carries the rest.
        code = static_cast<uint32_t>(jumped) | 0x80000000u;
    }
    RestoreSignals();
    return code;
}

}  // namespace mvos
