// Linux backend: the event log is the system log (journald, or the syslog socket; see
// systemlog.cpp), optionally mirrored to a JSON-lines file.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

struct EventSource {
    std::string name;
};

namespace {

// The insertion strings an event may carry (%1 to %9).
constexpr int kMaxInsertions = 9;

int PriorityOf(EventType type) {
    switch (type) {
        case EventType::kError:
            return LOG_ERR;
        case EventType::kWarning:
            return LOG_WARNING;
        default:
            return LOG_INFO;
    }
}

const char* TypeName(EventType type) {
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

// Appends one line to the event file in a single write, so lines of several processes
// never interleave. Only a regular file is written: the open never blocks (a FIFO
// without reader fails at once) and anything else that opens is left alone.
void AppendEventLine(const char* path, const std::string& line) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const char* p = line.data();
        size_t left = line.size();
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    ::close(fd);
}

}  // namespace

EventSourceHandle RegisterEventSource(const char* sourceName) {
    if (sourceName == nullptr || *sourceName == '\0') {
        SetLastError(kInvalidParameter);
        return nullptr;
    }
    EventSource* source = new (std::nothrow) EventSource;
    if (source == nullptr) {
        SetLastError(kNotEnoughMemory);
        return nullptr;
    }
    source->name = sourceName;
    return source;
}

void DeregisterEventSource(EventSourceHandle source) {
    delete source;
}

bool ReportEvent(EventSourceHandle source, EventType type, uint16_t category, uint32_t eventId,
                 const char* const* strings, int count, const char* messageTemplate) {
    if (source == nullptr) {
        SetLastError(kInvalidHandle);
        return false;
    }
    std::string message;
    {
        char text[8192];
        size_t n = RenderEventMessage(messageTemplate, strings, count, text, sizeof text);
        message.assign(text, n);
    }
    const char* insertions[kMaxInsertions];
    int given = count < 0 ? 0 : count > kMaxInsertions ? kMaxInsertions : count;
    for (int i = 0; i < given; ++i) {
        insertions[i] = strings != nullptr && strings[i] != nullptr ? strings[i] : "";
    }
    Syscalls().syslog(SystemLogEvent{PriorityOf(type), source->name.c_str(), TypeName(type),
                                     eventId, category, insertions, given, message.c_str()});

    const char* file = GetEnv("MERIVANE_EVENT_LOG");
    if (file == nullptr || *file == '\0') return true;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  now.tv_nsec / 1000000);
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  ",\"type\":\"%s\",\"id\":%lu,\"kind\":%lu,\"category\":%u,\"pid\":%lu",
                  TypeName(type), static_cast<unsigned long>(eventId),
                  static_cast<unsigned long>(eventId & 0xFFFFu), static_cast<unsigned>(category),
                  static_cast<unsigned long>(ProcessId()));
    std::string line = "{\"time\":\"";
    line += stamp;
    line += "\",\"source\":";
    AppendJsonString(line, source->name.c_str());
    line += numbers;
    line += ",\"message\":";
    AppendJsonString(line, message.c_str());
    line += ",\"strings\":[";
    for (int i = 0; i < count; ++i) {
        if (i > 0) line += ',';
        AppendJsonString(line, strings != nullptr && strings[i] != nullptr ? strings[i] : "");
    }
    line += "]}\n";
    AppendEventLine(file, line);
    return true;
}

}  // namespace mvos
