// The system log and the message object: the two process-wide report sinks.
#include "systemlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "diag/syslog_internal.h"
#include "frame/lifecycle.h"
#include "frame/version.h"
#include "os/os.h"

namespace {

// The process-wide switches: the log starts on, message boxes off.
int g_logSwitch = 1;
// Reports may come from several threads at once: the first one opens the event source,
// the others wait for it and then use the same source.
std::mutex g_sourceLock;
int g_msgSwitch = 0;

const char kProduct[] = "Merivane Runtime System";
const char kProductVersion[] = MVB_VERSION_MAJOR_TEXT;
const char kDefaultTitle[] = "Merivane Runtime System";
const int kSelectedTag = 2;  // "100", the tag of the running build

void* const kInvalidSource = reinterpret_cast<void*>(~static_cast<uintptr_t>(0));

// The message table of the library: the template of each event identifier.
struct EventTemplate {
    uint32_t id;
    const char* text;
};
const EventTemplate kTemplates[] = {
    {0x00000001u, "SUCCESS: %2 "},
    {0x40000002u, "%2"},
    {0x80000003u, "WARNING: %2 %1%n\r\nPID=%3%n\r\nEXE=%4"},
    {0xC0000004u, "ERROR: %2 %1%n\r\nPID=%3%n\r\nEXE=%4"},
    {0x00000005u, "%2 %1"},
    {0x00000006u, "%2 %1"},
    {0x00000007u, "%2 %1%n\r\nPID=%3%n\r\nEXE=%4"},
    {0x00000008u, "%2 %1%n\r\nPID=%3"},
    {0xC0000009u, "%2 %1%n\r\nPID=%3%n\r\nEXE=%4"},
    {0xC000000Au, "%2 %1%n\r\nPID=%3%n\r\nEXE=%4%n\r\nAborted."},
    {0xC000000Bu, "%2 %1%n\r\nPID=%3%n\r\nEXE=%4"},
};

// Storage of the process-wide objects, built and taken down by the start-up order.
alignas(TnEventSourceNames) unsigned char g_namesStorage[sizeof(TnEventSourceNames)];
alignas(TnSysLogWin32) unsigned char g_logStorage[sizeof(TnSysLogWin32)];
alignas(TnMsgWindows) unsigned char g_msgStorage[sizeof(TnMsgWindows)];
TnEventSourceNames* g_names = nullptr;
TnSysLogWin32* g_log = nullptr;
TnMsgWindows* g_msg = nullptr;

char* FormatOwned(const char* format, const char* a, const char* b, const char* c, const char* d) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(mvos::Malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace

namespace mvb::diag {

void KindToEvent(int kind, mvos::EventType* type, uint32_t* id) {
    const uint32_t k = static_cast<uint32_t>(kind);
    switch (kind) {
        case 1:
        case 5:
        case 6:
        case 7:
        case 8:
            *type = mvos::EventType::kSuccess;
            *id = k;
            break;
        case 3:
            *type = mvos::EventType::kWarning;
            *id = k | 0x80000000u;
            break;
        case 4:
        case 9:
        case 10:
        case 11:
            *type = mvos::EventType::kError;
            *id = k | 0xC0000000u;
            break;
        default:
            *type = mvos::EventType::kInformation;
            *id = k | 0x40000000u;
    }
}

const char* EventTemplateOf(uint32_t id) {
    for (const EventTemplate& t : kTemplates) {
        if (t.id == id) return t.text;
    }
    return nullptr;
}

TnEventSourceNames* EventSourceNames() {
    return g_names;
}

bool IsDebugModuleName(const char* path) {
    const char* base = std::strrchr(path, mvos::PathSeparator());
    base = base != nullptr ? base + 1 : path;
    const char* dot = std::strrchr(base, '.');
    size_t length = dot != nullptr ? static_cast<size_t>(dot - base) : std::strlen(base);
    return length > 0 && (base[length - 1] == 'd' || base[length - 1] == 'D');
}

}  // namespace mvb::diag

// ---------------------------------------------------------------- event-source names

const char* const TnEventSourceNames::kTags[kTagCount] = {
    "90", "90x64", "100", "100x64", "110", "110x64", "120", "120x64", "140", "140x64"};

TnEventSourceNames::TnEventSourceNames() : m_selected(kNoneSelected), m_entries() {
    for (int i = 0; i < kTagCount; ++i) {
        if (std::strcmp(kTags[i], kTags[kSelectedTag]) != 0) continue;
        m_selected = static_cast<uint16_t>(i);
        m_entries[i].name = FormatOwned("%s %s (%s)", kProduct, kProductVersion, kTags[i], "");
        m_entries[i].debugName =
            FormatOwned("%s %s (%s%s)", kProduct, kProductVersion, kTags[i], "D");
    }
}

TnEventSourceNames::~TnEventSourceNames() {
    for (Entry& e : m_entries) {
        mvos::Free(e.name);
        mvos::Free(e.debugName);
        e = Entry{nullptr, nullptr};
    }
}

const char* TnEventSourceNames::SourceName() const {
    return m_selected < kTagCount ? m_entries[m_selected].name : nullptr;
}

const char* TnEventSourceNames::DebugSourceName() const {
    return m_selected < kTagCount ? m_entries[m_selected].debugName : nullptr;
}

// ---------------------------------------------------------------- TnSysLog

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
    if (n < 0) {
        text[0] = '\0';
        n = 0;
    }
    unsigned length = n >= static_cast<int>(sizeof text) ? 1024u : static_cast<unsigned>(n);
    Write(kind, length, text);
}

TnSysLog::~TnSysLog() = default;

// ---------------------------------------------------------------- TnSysLogWin32

TnSysLogWin32::TnSysLogWin32() : m_hEventSource(kInvalidSource), m_isNT(0), m_processId() {}

TnSysLogWin32::~TnSysLogWin32() {
    if (m_hEventSource != kInvalidSource && m_hEventSource != nullptr) {
        mvos::DeregisterEventSource(static_cast<mvos::EventSourceHandle>(m_hEventSource));
    }
    m_hEventSource = kInvalidSource;
}

int TnSysLogWin32::InstallSource(const char* sourceName) {
    char modulePath[1024];
    if (mvos::OwnModuleFileName(modulePath, sizeof modulePath) == 0) return ERR_TN_FAILED;
    char keyName[600];
    std::snprintf(keyName, sizeof keyName,
                  "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\%.511s",
                  sourceName != nullptr ? sourceName : "");
    mvos::ScopedRegKey key;
    bool ok = mvos::RegCreateKey(mvos::kLocalMachine, keyName, mvos::kKeySetValue, key.Out(),
                                 nullptr) == mvos::kOk;
    if (ok) {
        const uint32_t types = 7;  // error, warning and information
        ok = mvos::RegSetValue(key.Get(), "EventMessageFile", mvos::kRegExpandSz, modulePath,
                               static_cast<uint32_t>(std::strlen(modulePath) + 1)) == mvos::kOk &&
             mvos::RegSetValue(key.Get(), "TypesSupported", mvos::kRegDword, &types,
                               sizeof types) == mvos::kOk;
    }
    key.Reset();  // closed before a failed installation removes the key again
    if (ok) return 0;
    mvos::RegDeleteKey(mvos::kLocalMachine, keyName);
    return ERR_TN_FAILED;
}

void TnSysLogWin32::OpenSource(const char* sourceName) {
    if (m_hEventSource != kInvalidSource || !m_isNT || !g_logSwitch) return;
    if (sourceName == nullptr) {
        sourceName = kProduct;
        if (const TnEventSourceNames* names = mvb::diag::EventSourceNames()) {
            if (names->m_selected != TnEventSourceNames::kNoneSelected) {
                char path[1024];
                bool debug = mvos::OwnModuleFileName(path, sizeof path) != 0 &&
                             mvb::diag::IsDebugModuleName(path);
                sourceName = debug ? names->DebugSourceName() : names->SourceName();
            }
        }
    }
    m_hEventSource = sourceName != nullptr ? mvos::RegisterEventSource(sourceName) : nullptr;
    std::snprintf(m_processId, sizeof m_processId, "%lu",
                  static_cast<unsigned long>(mvos::ProcessId()));
}

void TnSysLogWin32::Write(int kind, unsigned, const char* text) {
    void* source;
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        if (m_hEventSource == kInvalidSource) OpenSource(nullptr);
        source = m_hEventSource;
    }
    if (source == kInvalidSource || source == nullptr) return;
    const char version[] = "(Merivane " MVB_VERSION_TEXT ")";
    char exe[1024];
    if (mvos::ExecutablePath(exe, sizeof exe) == 0) exe[0] = '\0';
    mvos::EventType type;
    uint32_t id;
    mvb::diag::KindToEvent(kind, &type, &id);
    const char* strings[4] = {version, text != nullptr ? text : "", m_processId, exe};
    mvos::ReportEvent(static_cast<mvos::EventSourceHandle>(source), type, 0, id, strings, 4,
                      mvb::diag::EventTemplateOf(id));
}

// ---------------------------------------------------------------- TnMsg

int TnMsg::Enable(int on) {
    int previous = g_msgSwitch;
    g_msgSwitch = on ? 1 : 0;
    return previous;
}

unsigned TnMsg::Show(const char* title, unsigned style, const char* format, ...) {
    if (!g_msgSwitch && !(style & TN_MSG_ALWAYS_SHOW)) return TN_MSG_NOT_SHOWN;
    char text[4096];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (n < 0) text[0] = '\0';
    return Display(title, style, text);
}

TnMsg::~TnMsg() = default;

unsigned TnMsgWindows::Display(const char* title, unsigned style, const char* text) {
    if (title == nullptr) title = kDefaultTitle;
    // Task-modal, set-foreground, topmost and service-notification, always.
    const uint32_t boxStyle = (style & 0xDADFFFu) | 0x252000u;
    unsigned result;
    switch (mvos::MessageBox(text, title, boxStyle)) {
        case mvos::kIdCancel:
        case mvos::kIdAbort:
            result = TN_MSG_CANCEL;
            break;
        case mvos::kIdRetry:
            result = TN_MSG_RETRY;
            break;
        case mvos::kIdIgnore:
            result = TN_MSG_IGNORE;
            break;
        case mvos::kIdNo:
            result = TN_MSG_NO;
            break;
        default:
            result = TN_MSG_OK;
    }
    if (((style & TN_MSG_BREAK_ON_RETRY) && result == TN_MSG_RETRY) ||
        ((style & TN_MSG_BREAK_ON_CANCEL) && result == TN_MSG_CANCEL)) {
        mvos::DebugBreak();
    }
    return result;
}

TnMessageBoxPresenter TnSetMessageBoxPresenter(TnMessageBoxPresenter presenter) {
    return mvos::SetBoxPresenter(presenter);
}

// ---------------------------------------------------------------- the process-wide objects

TnSysLog* TnSystemLog() {
    if (g_log == nullptr) mvb::lifecycle::InitSystemLog();
    return g_log;
}

TnMsg* TnMessage() {
    if (g_msg == nullptr) mvb::lifecycle::InitMessage();
    return g_msg;
}

namespace mvb::lifecycle {

void InitEventSourceNames() {
    if (g_names == nullptr) g_names = new (g_namesStorage) TnEventSourceNames;
}

void InitSystemLog() {
    if (g_log != nullptr) return;
    g_log = new (g_logStorage) TnSysLogWin32;
    g_log->m_isNT = mvos::IsNtFamily() ? 1 : 0;
}

void InitMessage() {
    if (g_msg == nullptr) g_msg = new (g_msgStorage) TnMsgWindows;
}

void TermMessage() {
    if (g_msg != nullptr) g_msg->~TnMsgWindows();
    g_msg = nullptr;
}

void TermSystemLog() {
    if (g_log != nullptr) g_log->~TnSysLogWin32();
    g_log = nullptr;
}

void TermEventSourceNames() {
    if (g_names != nullptr) g_names->~TnEventSourceNames();
    g_names = nullptr;
}

}  // namespace mvb::lifecycle
