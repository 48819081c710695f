// System log and message boxes (start-up version: events and boxes are dropped).
#include <cstdarg>
#include <cstdio>

#include "frame/lifecycle.h"
#include "os/os.h"
#include "syslog.h"

namespace {
int g_logSwitch = 1;
int g_msgSwitch = 0;

class SysLogStub : public TnSysLog {
  public:
    void Write(int, unsigned, const char*) override {}
};
class MsgStub : public TnMsg {
  public:
    unsigned Display(const char*, unsigned, const char*) override { return 0x1000000; }
};
}  // namespace

int TnSysLog::InstallSource(const char*) {
    return 0;
}
int TnSysLog::Enable(int on) {
    int previous = g_logSwitch;
    g_logSwitch = on;
    return previous;
}
void TnSysLog::OpenSource(const char*) {}
void TnSysLog::Report(int kind, const char* format, ...) {
    if (!g_logSwitch) return;
    char text[1024];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    unsigned length = (n < 0 || n >= 1024) ? 1024u : static_cast<unsigned>(n);
    Write(kind, length, text);
}
TnSysLog::~TnSysLog() = default;

int TnMsg::Enable(int on) {
    int previous = g_msgSwitch;
    g_msgSwitch = on ? 1 : 0;
    return previous;
}
unsigned TnMsg::Show(const char* title, unsigned style, const char* format, ...) {
    if (!g_msgSwitch && !(style & 0x20000000u)) return 0x40000000u;
    char text[4096];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    return Display(title, style, text);
}
TnMsg::~TnMsg() = default;

TnMessageBoxPresenter TnSetMessageBoxPresenter(TnMessageBoxPresenter presenter) {
    return mvos::SetBoxPresenter(presenter);
}

TnSysLog* TnSystemLog() {
    static SysLogStub log;
    return &log;
}
TnMsg* TnMessage() {
    static MsgStub msg;
    return &msg;
}

namespace mvb::lifecycle {
void InitEventSourceNames() {}
void InitSystemLog() {}
void InitMessage() {}
void TermMessage() {}
void TermSystemLog() {}
void TermEventSourceNames() {}
}  // namespace mvb::lifecycle
