// Checking, reading and showing the lines of the event file.
#include "log_events.h"

#include <cstring>

#include "cli.h"

namespace mvtool {
namespace {

constexpr uint32_t kEventNumberMask = 0xFFFFu;  // the event's own number, below the severity

// ---------------------------------------------------------------- fields

bool StringField(const nlohmann::json& doc, const char* key, std::string* out, std::string* cause) {
    const auto it = doc.find(key);
    if (it == doc.end() || !it->is_string()) {
        *cause = std::string("'") + key + "' is missing or not a text";
        return false;
    }
    *out = it->get<std::string>();
    return true;
}

// A whole number from 0 to max; an absent optional field keeps *out.
bool NumberField(const nlohmann::json& doc, const char* key, uint64_t max, bool required,
                 uint64_t* out, std::string* cause) {
    const auto it = doc.find(key);
    if (it == doc.end() && !required) return true;
    if (it == doc.end() || !it->is_number_integer() ||
        (it->is_number_unsigned() ? it->get<uint64_t>() > max
                                  : it->get<int64_t>() < 0 || it->get<uint64_t>() > max)) {
        *cause = std::string("'") + key + "' is missing or not a number from 0 to " +
                 std::to_string(max);
        return false;
    }
    *out = it->get<uint64_t>();
    return true;
}

bool StringsField(const nlohmann::json& doc, std::vector<std::string>* out, std::string* cause) {
    const auto it = doc.find("strings");
    if (it == doc.end()) return true;
    if (it->is_array()) {
        for (const nlohmann::json& s : *it) {
            if (!s.is_string()) break;
            out->push_back(s.get<std::string>());
        }
        if (out->size() == it->size()) return true;
    }
    *cause = "'strings' is not a list of texts";
    return false;
}

bool KnownType(const std::string& type) {
    return type == "success" || type == "information" || type == "warning" || type == "error";
}

// ---------------------------------------------------------------- times

// Exactly n digits at pos.
bool Digits(const std::string& s, size_t* pos, size_t n, int* value) {
    if (*pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = s[*pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *pos += n;
    *value = v;
    return true;
}

bool Take(const std::string& s, size_t* pos, char c) {
    if (*pos >= s.size() || s[*pos] != c) return false;
    ++*pos;
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Seconds and an optional fraction of one to nine digits, in whole milliseconds rounded
// up (so that --since 07:20:05.2501 does not take an event of 07:20:05.250).
bool SecondsPart(const std::string& s, size_t* pos, int* second, int* ms) {
    if (!Digits(s, pos, 2, second)) return false;
    if (!Take(s, pos, '.')) return true;
    size_t digits = 0;
    bool below = false;  // a nonzero digit below the milliseconds
    for (; *pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9'; ++*pos, ++digits) {
        if (digits < 3) *ms = *ms * 10 + (s[*pos] - '0');
        below = below || (digits >= 3 && s[*pos] != '0');
    }
    for (size_t d = digits; d < 3; ++d) *ms *= 10;
    *ms += below;
    return digits >= 1 && digits <= 9;
}

// "YYYY-MM-DD[(T| )HH:MM[:SS[.fff]][Z]]"; strict: the event file's own form, with 'T',
// seconds and 'Z' all required.
bool ParseUtc(const std::string& s, bool strict, int64_t* msOut) {
    size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
    if (!Digits(s, &pos, 4, &y) || !Take(s, &pos, '-') || !Digits(s, &pos, 2, &mo) ||
        !Take(s, &pos, '-') || !Digits(s, &pos, 2, &d) || mo < 1 || mo > 12 || d < 1 ||
        d > DaysInMonth(y, mo))
        return false;
    const bool hasTime = Take(s, &pos, 'T') || (!strict && Take(s, &pos, ' '));
    if (hasTime) {
        if (!Digits(s, &pos, 2, &h) || !Take(s, &pos, ':') || !Digits(s, &pos, 2, &mi))
            return false;
        const bool hasSeconds = Take(s, &pos, ':');
        if ((hasSeconds && !SecondsPart(s, &pos, &sec, &ms)) || (strict && !hasSeconds))
            return false;
        if (!Take(s, &pos, 'Z') && strict) return false;
    }
    if (pos != s.size() || (strict && !hasTime) || h > 23 || mi > 59 || sec > 59) return false;
    *msOut = (((DaysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60 + sec) * 1000 + ms;
    return true;
}

}  // namespace

bool ParseEventTime(const std::string& text, int64_t* ms) {
    return ParseUtc(text, true, ms);
}

bool ParseSince(const std::string& text, int64_t nowMs, int64_t* sinceMs) {
    if (text == "now") {
        *sinceMs = nowMs;
        return true;
    }
    const size_t digits = text.find_first_not_of("0123456789");
    if (digits >= 1 && digits <= 9 && digits + 1 == text.size()) {
        static const char kUnits[] = "smhd";
        static const int64_t kUnitMs[] = {1000, 60 * 1000, 3600 * 1000, 86400 * 1000};
        const char* unit = std::strchr(kUnits, text.back());
        if (unit == nullptr || text.back() == '\0') return false;
        *sinceMs = nowMs - std::stoll(text.substr(0, digits)) * kUnitMs[unit - kUnits];
        return true;
    }
    return ParseUtc(text, false, sinceMs);
}

bool ParseEventLine(const std::string& line, Event* event, std::string* cause) {
    // No exceptions: a parse error's text would repeat the line's own bytes.
    const nlohmann::json doc = nlohmann::json::parse(line, nullptr, false);
    if (doc.is_discarded()) return *cause = "not JSON", false;
    if (!doc.is_object()) return *cause = "not a JSON object", false;
    uint64_t id = 0, category = 0, pid = UINT64_MAX;
    if (!StringField(doc, "time", &event->time, cause) ||
        !StringField(doc, "source", &event->source, cause) ||
        !StringField(doc, "type", &event->type, cause) ||
        !StringField(doc, "message", &event->message, cause) ||
        !NumberField(doc, "id", UINT32_MAX, true, &id, cause) ||
        !NumberField(doc, "category", UINT16_MAX, false, &category, cause) ||
        !NumberField(doc, "pid", INT32_MAX, false, &pid, cause) ||
        !StringsField(doc, &event->strings, cause))
        return false;
    if (!ParseEventTime(event->time, &event->timeMs))
        return *cause = "'time' is not of the form 2026-12-06T07:20:23.123Z", false;
    if (!KnownType(event->type))
        return *cause = "'type' is not success, information, warning or error", false;
    event->id = static_cast<uint32_t>(id);
    event->category = static_cast<uint32_t>(category);
    event->pid = pid == UINT64_MAX ? -1 : static_cast<int64_t>(pid);
    return true;
}

std::string ReadableEvent(const Event& event) {
    char type[16];
    std::snprintf(type, sizeof type, "%-11s", event.type.c_str());
    return event.time + "  " + type + "  " + TerminalText(event.source) + "  id " +
           std::to_string(event.id & kEventNumberMask) + "  " + TerminalText(event.message);
}

nlohmann::json EventJson(const Event& event) {
    nlohmann::json out = {{"time", event.time},
                          {"source", event.source},
                          {"type", event.type},
                          {"id", event.id},
                          {"kind", event.id & kEventNumberMask},
                          {"category", event.category}};
    if (event.pid >= 0) out["pid"] = event.pid;
    out["message"] = event.message;
    out["strings"] = event.strings;
    return out;
}

void LineSplitter::Feed(const char* bytes, size_t size) {
    while (size > 0) {
        const char* lineEnd = static_cast<const char*>(std::memchr(bytes, '\n', size));
        const size_t take = lineEnd != nullptr ? static_cast<size_t>(lineEnd - bytes) : size;
        if (!m_overlong && m_partial.size() + take > kMaxEventLine) {
            m_overlong = true;
            std::string().swap(m_partial);
        }
        if (!m_overlong) m_partial.append(bytes, take);
        if (lineEnd == nullptr) return;
        Emit();
        bytes += take + 1;
        size -= take + 1;
    }
}

void LineSplitter::Finish() {
    if (!m_partial.empty() || m_overlong) Emit();
}

void LineSplitter::Reset() {
    m_partial.clear();
    m_overlong = false;
    m_number = 0;
}

void LineSplitter::Emit() {
    ++m_number;
    m_sink(m_number, m_overlong ? nullptr : &m_partial);
    m_partial.clear();
    m_overlong = false;
}

}  // namespace mvtool
