// The event file of the library (MERIVANE_EVENT_LOG): one JSON object per line, as the
// OS layer's event log writes it:
//
//   {"time":"2026-12-06T07:20:23.123Z","source":"...","type":"error","id":3221225476,
//    "kind":4,"category":0,"pid":1234,"message":"...","strings":["...",...]}
//
// Anyone who can write the file can put anything in it: every line is checked here
// (bounded length, strict JSON, each field of the expected type and range) before any
// of it is shown, and what is shown is made safe for a terminal.
#ifndef MV_TOOLS_LOG_EVENTS_H
#define MV_TOOLS_LOG_EVENTS_H

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace mvtool {

// The longest line taken; longer lines are reported and skipped without being kept.
constexpr size_t kMaxEventLine = 1 << 20;

struct Event {
    std::string time;    // as written, UTC
    int64_t timeMs = 0;  // milliseconds since 1970-01-01T00:00:00Z
    std::string source;
    std::string type;  // success, information, warning, error
    uint32_t id = 0;   // the full event identifier (severity in the top bits)
    uint32_t category = 0;
    int64_t pid = -1;  // -1: not given
    std::string message;
    std::vector<std::string> strings;
};

// Checks one line; false with the cause (e.g. "not JSON", "'id' is not a 32-bit
// number") when it is not an event.
bool ParseEventLine(const std::string& line, Event* event, std::string* cause);

// "YYYY-MM-DDTHH:MM:SS[.fraction]Z" to milliseconds since the epoch; false when the
// text is not exactly of that form or names no real time.
bool ParseEventTime(const std::string& text, int64_t* ms);

// The start time of --since, in milliseconds since the epoch (all times UTC):
//   2026-12-06                     midnight of that day
//   2026-12-06T07:20[:05[.250]][Z] that time ('T' or one blank between date and time)
//   30s, 15m, 2h, 7d               so long before now
//   now                            now
bool ParseSince(const std::string& text, int64_t nowMs, int64_t* sinceMs);

// One line for a terminal: time, type, source, identifier and message. Line breaks of
// the message become " | ", control characters a visible escape (e.g. "\x1b").
std::string ReadableEvent(const Event& event);
// The event's known fields as one JSON object.
nlohmann::json EventJson(const Event& event);

// Cuts bytes into lines with their line numbers (from 1). A line longer than
// kMaxEventLine is reported once, as overlong, and its bytes are not kept.
class LineSplitter {
  public:
    using Sink = std::function<void(uint64_t number, const std::string* line)>;  // null: overlong
    explicit LineSplitter(Sink sink) : m_sink(std::move(sink)) {}
    void Feed(const char* bytes, size_t size);
    // The last line when it has no line break (at the end of a file that is not followed).
    void Finish();
    // Starts again at line 1 (the file was truncated or replaced).
    void Reset();

  private:
    void Emit();

    Sink m_sink;
    std::string m_partial;
    bool m_overlong = false;
    uint64_t m_number = 0;
};

}  // namespace mvtool

#endif
