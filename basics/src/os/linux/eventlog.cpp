// Linux backend: the event log is syslog(3), optionally mirrored to a JSON-lines file.
#include <fcntl.h>
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

void AppendJsonString(std::string& out, const char* text) {
    out += '"';
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        switch (*p) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (*p < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", *p);
                    out += esc;
                } else {
                    out += static_cast<char>(*p);
                }
        }
    }
    out += '"';
}

// Appends one line to the event file in a single write, so lines of several processes
// never interleave.
void AppendEventLine(const char* path, const std::string& line) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
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

size_t RenderEventMessage(const char* messageTemplate, const char* const* strings, int count,
                          char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string out;
    auto insertion = [&](int i) -> const char* {
        return (i >= 0 && i < count && strings != nullptr && strings[i] != nullptr) ? strings[i]
                                                                                    : "";
    };
    if (messageTemplate == nullptr) {
        for (int i = 0; i < count; ++i) {
            if (i > 0) out += ' ';
            out += insertion(i);
        }
    } else {
        for (const char* p = messageTemplate; *p; ++p) {
            if (*p != '%' || p[1] == '\0') {
                out += *p;
                continue;
            }
            char next = p[1];
            if (next >= '1' && next <= '9') {
                out += insertion(next - '1');
                ++p;
            } else if (next == 'n') {
                out += '\n';
                ++p;
                if (p[1] == '\r' && p[2] == '\n') p += 2;
            } else if (next == '%') {
                out += '%';
                ++p;
            } else {
                out += *p;
            }
        }
    }
    size_t n = out.size() < size ? out.size() : size - 1;
    std::memcpy(buffer, out.data(), n);
    buffer[n] = '\0';
    return n;
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
    Syscalls().syslog(PriorityOf(type), source->name.c_str(), message.c_str());

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
