// Timers: the millisecond tick-count timer and the high-resolution counter timer.
#include "frame.h"
#include "os/os.h"
#include "services/heap.h"
#include "services/clockstate.h"
#include "timeutil.h"

// ---------------------------------------------------------------- TnTimer

TnTimer::~TnTimer() = default;
uint32_t TnTimer::TicksPerSecond() {
    return 0;
}
void TnTimer::Start() {}
void TnTimer::Stop() {}
void TnTimer::Reset() {}
int TnTimer::IsTimeOver(unsigned int, int) {
    return 0;
}
double TnTimer::Seconds() const {
    return 0.0;
}
uint32_t TnTimer::MilliSeconds() const {
    return 0;
}
uint64_t TnTimer::Ticks() const {
    return 0;
}
uint32_t TnTimer::ElapsedTime() const {
    return 0;
}

uint32_t TnTimer::EstimatedTimeLeft(unsigned int percentDone) const {
    if (percentDone == 0 || percentDone >= 100) return 0;
    return ElapsedTime() * 100u / percentDone;
}

uint32_t TnTimer::HourMinSec(unsigned int& hours, unsigned int& minutes, unsigned int& seconds,
                             unsigned int milliseconds) const {
    if (milliseconds == 0xFFFFFFFFu) milliseconds = ElapsedTime();
    seconds = milliseconds / 1000u;
    minutes = seconds / 60u;
    seconds -= minutes * 60u;
    hours = minutes / 60u;
    minutes -= hours * 60u;
    return milliseconds % 1000u;
}

TnTimer* TnTimer::MakeTimer() {
    return new WindowsTimer;
}
TnTimer* TnTimer::MakeHiResTimer() {
    return new Win32HiResTimer;
}

void* TnTimer::operator new(size_t size) noexcept {
    return mvb::services::AllocateObject(size);
}

void TnTimer::operator delete(void* block) noexcept {
    mvos::Free(block);
}

// ---------------------------------------------------------------- WindowsTimer
// All differences in unsigned 32-bit arithmetic: one wrap of the tick count between
// the two readings cancels out.

WindowsTimer::~WindowsTimer() = default;
uint32_t WindowsTimer::TicksPerSecond() {
    return 1000;
}
void WindowsTimer::Start() {
    m_start = mvos::TickCount();
}
void WindowsTimer::Stop() {
    m_accumulated += mvos::TickCount() - m_start;
}

void WindowsTimer::Reset() {
    m_start = 0;
    m_accumulated = 0;
}

int WindowsTimer::IsTimeOver(unsigned int seconds, int restart) {
    uint32_t now = mvos::TickCount();
    if (now - m_start < seconds * 1000u) return 0;
    if (restart) m_start = now;
    return 1;
}

double WindowsTimer::Seconds() const {
    return m_accumulated / 1000.0;
}
uint32_t WindowsTimer::MilliSeconds() const {
    return m_accumulated;
}
uint64_t WindowsTimer::Ticks() const {
    return m_accumulated;
}
uint32_t WindowsTimer::ElapsedTime() const {
    return mvos::TickCount() - m_start;
}

// ---------------------------------------------------------------- Win32HiResTimer

namespace {

// Counter ticks to milliseconds: ticks / (f / 1000) as the counter's own unit. A
// counter slower than 1000 Hz converts exactly instead (that divisor would be 0), and
// a system without a counter (f = 0) measures nothing.
uint64_t TicksToMilliseconds(uint64_t ticks) {
    uint64_t f = mvb::services::CounterFrequency();
    if (f >= 1000) return ticks / (f / 1000);
    if (f == 0) return 0;
    return ticks / f * 1000 + ticks % f * 1000 / f;
}

}  // namespace

Win32HiResTimer::~Win32HiResTimer() = default;
uint32_t Win32HiResTimer::TicksPerSecond() {
    return static_cast<uint32_t>(mvb::services::CounterFrequency());
}
void Win32HiResTimer::Start() {
    m_start = mvos::Counter();
}
void Win32HiResTimer::Stop() {
    m_accumulated += mvos::Counter() - m_start;
}

void Win32HiResTimer::Reset() {
    m_start = 0;
    m_accumulated = 0;
}

int Win32HiResTimer::IsTimeOver(unsigned int seconds, int restart) {
    uint64_t limit = seconds * mvb::services::CounterFrequency();
    uint64_t now = mvos::Counter();
    if (now - m_start < limit) return 0;
    if (restart) m_start = now;
    return 1;
}

double Win32HiResTimer::Seconds() const {
    if (mvb::services::CounterFrequency() == 0) return 0.0;
    return static_cast<double>(m_accumulated) /
           static_cast<double>(mvb::services::CounterFrequency());
}

uint32_t Win32HiResTimer::MilliSeconds() const {
    return static_cast<uint32_t>(TicksToMilliseconds(m_accumulated));
}

uint64_t Win32HiResTimer::Ticks() const {
    return m_accumulated;
}

uint32_t Win32HiResTimer::ElapsedTime() const {
    return static_cast<uint32_t>(TicksToMilliseconds(mvos::Counter() - m_start));
}
