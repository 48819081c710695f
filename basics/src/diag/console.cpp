// The server console: its front, the base implementation, the call-context text and
// the service-stopped flag.
#include <atomic>
#include <cstdarg>
#include <cstring>

#include "console.h"
#include "os/os.h"

namespace {

constexpr unsigned short kActiveMask = 0x17;
constexpr unsigned short kOutputSwitch = 0x02;
constexpr uint16_t kActive = 1;
constexpr size_t kLineBuffer = 1024;

std::atomic<int32_t> g_serviceStopped{0};

uint16_t StateFromMode(unsigned short mode) {
    return (mode & kActiveMask) != 0 ? kActive : 0;
}

// Formats into buffer (kLineBuffer bytes, always NUL-terminated); the length of the
// full text, negative on a formatting error.
int FormatLine(char* buffer, const char* format, va_list ap) {
    return std::vsnprintf(buffer, kLineBuffer, format, ap);
}

bool Fits(int length) {
    return length >= 0 && static_cast<size_t>(length) < kLineBuffer;
}

}  // namespace

uint16_t TimeStampInServerLog = 0;

void StopTARN_Service() {
    g_serviceStopped.store(1, std::memory_order_relaxed);
}
int TARN_Service_hasStopped() {
    return g_serviceStopped.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------- TnString

TnString::TnString() : m_text(nullptr), m_length(0) {}
TnString::TnString(const char* text) : m_text(nullptr), m_length(0) {
    if (text != nullptr) Assign(text, std::strlen(text));
}
TnString::TnString(const TnString& other) : m_text(nullptr), m_length(0) {
    Assign(other.Text(), other.m_length);
}
TnString& TnString::operator=(const TnString& other) {
    if (this != &other) Assign(other.Text(), other.m_length);
    return *this;
}
TnString::~TnString() {
    mvos::Free(m_text);
}

void TnString::Assign(const char* text, size_t length) {
    char* copy = static_cast<char*>(mvos::Malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    } else {
        length = 0;
    }
    mvos::Free(m_text);
    m_text = copy;
    m_length = length;
}

// ---------------------------------------------------------------- _TnServCons

_TnServCons::~_TnServCons() = default;

void _TnServCons::write(const char* text, int) {
    if (text != nullptr) mvos::DebugOutput(text);
}

void _TnServCons::printf(const char* format, ...) {
    char buffer[kLineBuffer];
    va_list ap;
    va_start(ap, format);
    int length = FormatLine(buffer, format, ap);
    va_end(ap);
    if (length > 0 && Fits(length)) write(buffer, length);
}

void _TnServCons::terminateLine() {
    write("\r\n", 2);
}
void _TnServCons::flush() {}
void _TnServCons::beginCall(TnServerCallCtx&) {}
void _TnServCons::endCall(TnServerCallCtx&) {}
void _TnServCons::communicationFailure(TnServerCallCtx&) {}
unsigned short _TnServCons::GetMode() {
    return 0;
}
void _TnServCons::SetMode(unsigned short) {}

// ---------------------------------------------------------------- TnServCons

namespace {
// The implementation to forward to, or null while output is not active.
_TnServCons* Active(const TnServCons& console) {
    return (console.m_state & kActive) != 0 ? console.m_implementation : nullptr;
}
}  // namespace

TnServCons::TnServCons() : m_implementation(nullptr), m_state(kActive) {}
TnServCons::TnServCons(_TnServCons* implementation)
    : m_implementation(implementation), m_state(kActive) {}
TnServCons::~TnServCons() = default;

_TnServCons* TnServCons::setImplementation(_TnServCons* implementation) {
    _TnServCons* previous = m_implementation;
    m_implementation = implementation;
    return previous;
}

TnServCons& TnServCons::operator<<(const char* text) {
    if (text == nullptr) return *this;
    if (_TnServCons* impl = Active(*this)) impl->write(text, -1);
    return *this;
}

TnServCons& TnServCons::operator<<(const TnString& text) {
    if (_TnServCons* impl = Active(*this)) impl->write(text);
    return *this;
}

TnServCons& TnServCons::operator<<(int value) {
    if ((m_state & kActive) != 0) printf("%d", value);
    return *this;
}

void TnServCons::printf(const char* format, ...) {
    _TnServCons* impl = Active(*this);
    if (impl == nullptr) return;
    char buffer[kLineBuffer];
    va_list ap;
    va_start(ap, format);
    int length = FormatLine(buffer, format, ap);
    va_end(ap);
    if (!Fits(length)) {
        buffer[0] = '\0';
        length = 0;
    }
    impl->write(buffer, length);
}

void TnServCons::terminateLine() {
    if (_TnServCons* impl = Active(*this)) impl->terminateLine();
}

void TnServCons::flush() {
    if (_TnServCons* impl = Active(*this)) impl->flush();
}

void TnServCons::BeginCall(TnServerCallCtx& call) {
    if (_TnServCons* impl = Active(*this)) impl->beginCall(call);
}

void TnServCons::EndCall(TnServerCallCtx& call) {
    if (_TnServCons* impl = Active(*this)) impl->endCall(call);
}

void TnServCons::CommunicationFailure(TnServerCallCtx& call) {
    if (_TnServCons* impl = Active(*this)) impl->communicationFailure(call);
}

unsigned short TnServCons::GetMode() {
    return m_implementation != nullptr ? m_implementation->GetMode() : 0;
}

void TnServCons::SetMode(unsigned short mode) {
    if (m_implementation != nullptr) {
        m_implementation->SetMode(mode);
        mode = m_implementation->GetMode();
    }
    m_state = StateFromMode(mode);
}

void TnServCons::switchOutput(int on) {
    unsigned short mode = GetMode();
    mode = on ? static_cast<unsigned short>(mode | kOutputSwitch)
              : static_cast<unsigned short>(mode & ~kOutputSwitch);
    SetMode(mode);
}

int TnServCons::ControlTraceFile(TnString& fileName, unsigned short mode, int flag) {
    if (m_implementation == nullptr) return 0;
    int result = m_implementation->controlTraceFile(fileName, mode, flag);
    if (result < 0) return result;
    m_state = StateFromMode(m_implementation->GetMode());
    return result;
}

TnServCons& endl(TnServCons& console) {
    if (_TnServCons* impl = Active(console)) {
        impl->terminateLine();
        impl->flush();
    }
    return console;
}
