// The event file both backends keep when MERIVANE_EVENT_LOG names one: one JSON object
// per event and line, always valid UTF-8, appended with one write (the backend's
// AppendEventLine) so that lines of several processes never interleave.
#include <cstdio>
#include <cstring>
#include <string>

#include "os/common.h"
#include "os/os.h"

namespace mvos {

namespace {

// Length of the valid UTF-8 sequence at p (at most left bytes), or 0 when the byte at
// p does not start one (overlong forms, surrogates and code points past U+10FFFF are
// not valid).
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF   ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
    if (n == 0 || n > left) return 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
    if (p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
    }
    return n;
}

// A JSON string of text: valid UTF-8 kept, every other byte becomes U+FFFD.
void AppendJsonString(std::string& out, const char* text) {
    out += '"';
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t left = std::strlen(text);
    while (left > 0) {
        const unsigned char c = *p;
        size_t n = 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else if ((n = Utf8SequenceLength(p, left)) != 0) {
            out.append(reinterpret_cast<const char*>(p), n);
        } else {
            out += "\xEF\xBF\xBD";
            n = 1;
        }
        p += n;
        left -= n;
    }
    out += '"';
}

// The instant (100-nanosecond units since 1601-01-01 UTC) as ISO 8601 UTC to the
// millisecond, e.g. "2024-02-29T23:59:59.999Z".
void FormatUtc(uint64_t instant, char* out, size_t size) {
    constexpr uint64_t kUnitsPerMillisecond = 10000;
    constexpr int64_t kDaysFrom1601To1970 = 134774;
    const uint64_t ms = instant / kUnitsPerMillisecond;
    const uint64_t seconds = ms / 1000;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    // Civil date of a day count since 1970-01-01 (proleptic Gregorian calendar, in
    // eras of 400 years counted from 0000-03-01).
    const int64_t z = static_cast<int64_t>(seconds / 86400) - kDaysFrom1601To1970 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    std::snprintf(out, size, "%04lld-%02u-%02uT%02u:%02u:%02u.%03uZ", static_cast<long long>(year),
                  month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60,
                  static_cast<unsigned>(ms % 1000));
}

}  // namespace

const char* EventTypeName(EventType type) {
    switch (type) {
        case EventType::kSuccess:
            return "success";
        case EventType::kError:
            return "error";
        case EventType::kWarning:
            return "warning";
        default:
            return "information";
    }
}

void WriteEventFile(const char* sourceName, EventType type, uint16_t category, uint32_t eventId,
                    const char* const* strings, int count, const char* message) {
    const char* file = GetEnv("MERIVANE_EVENT_LOG");
    if (file == nullptr || *file == '\0') return;
    char stamp[64];
    FormatUtc(SystemTime(), stamp, sizeof stamp);
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  ",\"type\":\"%s\",\"id\":%lu,\"kind\":%lu,\"category\":%u,\"pid\":%lu",
                  EventTypeName(type), static_cast<unsigned long>(eventId),
                  static_cast<unsigned long>(eventId & 0xFFFFu), static_cast<unsigned>(category),
                  static_cast<unsigned long>(ProcessId()));
    std::string line = "{\"time\":\"";
    line += stamp;
    line += "\",\"source\":";
    AppendJsonString(line, sourceName);
    line += numbers;
    line += ",\"message\":";
    AppendJsonString(line, message);
    line += ",\"strings\":[";
    for (int i = 0; i < count; ++i) {
        if (i > 0) line += ',';
        AppendJsonString(line, strings != nullptr && strings[i] != nullptr ? strings[i] : "");
    }
    line += "]}\n";
    AppendEventLine(file, line);
}

}  // namespace mvos
