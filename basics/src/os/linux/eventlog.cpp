// Linux backend: the event log is the system log (journald, or the syslog socket; see
// systemlog.cpp), optionally mirrored to a JSON-lines file.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <new>
#include <string>

#include "os/common.h"
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

}  // namespace

// Only a regular file is written: the open never blocks (a FIFO without reader fails
// at once) and anything else that opens is left alone.
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
    Syscalls().syslog(SystemLogEvent{PriorityOf(type), source->name.c_str(), EventTypeName(type),
                                     eventId, category, insertions, given, message.c_str()});

    WriteEventFile(source->name.c_str(), type, category, eventId, strings, count, message.c_str());
    return true;
}

}  // namespace mvos
