// Windows backend: the event log is the system's (RegisterEventSource / ReportEvent).
// Events go through the syscall table's syslog entry, so tests see them whole, and to
// the JSON event file when MERIVANE_EVENT_LOG names one, as on Linux.
#include "os/win32/system.h"

#include <new>
#include <string>

#include "os/common.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "os/win32/internal.h"

namespace mvos {

struct EventSource {
    HANDLE handle;
    std::string name;
};

namespace {

// The insertion strings an event may carry (%1 to %9).
constexpr int kMaxInsertions = 9;

// The source that is reporting on this thread, for the syscall table's entry.
thread_local HANDLE t_reporting = nullptr;

// The priorities the system log's records carry on every platform (syslog's numbers).
constexpr int kPriorityError = 3;
constexpr int kPriorityWarning = 4;
constexpr int kPriorityInfo = 6;

WORD TypeOfName(const char* name) {
    switch (name[0]) {
        case 'e':
            return EVENTLOG_ERROR_TYPE;
        case 'w':
            return EVENTLOG_WARNING_TYPE;
        case 's':
            return EVENTLOG_SUCCESS;
        default:
            return EVENTLOG_INFORMATION_TYPE;
    }
}

}  // namespace

// Only a disk file is written (a pipe, console or other device that opens is closed
// untouched; a folder does not open). Every writer of the file (threads and processes)
// takes the same byte-range lock, far past any line, before it moves to the end and
// writes its line: appending alone does not keep lines whole under Wine.
void AppendEventLine(const char* path, const std::string& line) {
    HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    if (::GetFileType(file) == FILE_TYPE_DISK) {
        OVERLAPPED lockAt{};
        lockAt.OffsetHigh = 0x7FFFFFFF;
        const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
        DWORD written = 0;
        if (::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END)) {
            ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
        if (locked) ::UnlockFileEx(file, 0, 1, 0, &lockAt);
    }
    ::CloseHandle(file);
}

void ReportToEventLog(const SystemLogEvent& event) {
    if (t_reporting == nullptr) return;
    ::ReportEventA(t_reporting, TypeOfName(event.type), event.category, event.eventId, nullptr,
                   static_cast<WORD>(event.count), 0, const_cast<LPCSTR*>(event.strings), nullptr);
}

EventSourceHandle RegisterEventSource(const char* sourceName) {
    if (sourceName == nullptr || *sourceName == '\0') {
        SetLastError(kInvalidParameter);
        return nullptr;
    }
    HANDLE handle = ::RegisterEventSourceA(nullptr, sourceName);
    if (handle == nullptr) {
        SetLastError(::GetLastError());
        return nullptr;
    }
    EventSource* source = new (std::nothrow) EventSource;
    if (source == nullptr) {
        ::DeregisterEventSource(handle);
        SetLastError(kNotEnoughMemory);
        return nullptr;
    }
    source->handle = handle;
    source->name = sourceName;
    return source;
}

void DeregisterEventSource(EventSourceHandle source) {
    if (source == nullptr) return;
    ::DeregisterEventSource(source->handle);
    delete source;
}

bool ReportEvent(EventSourceHandle source, EventType type, uint16_t category, uint32_t eventId,
                 const char* const* strings, int count, const char* messageTemplate) {
    if (source == nullptr) {
        SetLastError(kInvalidHandle);
        return false;
    }
    char message[8192];
    RenderEventMessage(messageTemplate, strings, count, message, sizeof message);
    const char* insertions[kMaxInsertions];
    int given = count < 0 ? 0 : count > kMaxInsertions ? kMaxInsertions : count;
    for (int i = 0; i < given; ++i) {
        insertions[i] = strings != nullptr && strings[i] != nullptr ? strings[i] : "";
    }
    const int priority = type == EventType::kError     ? kPriorityError
                         : type == EventType::kWarning ? kPriorityWarning
                                                       : kPriorityInfo;
    t_reporting = source->handle;
    Syscalls().syslog(SystemLogEvent{priority, source->name.c_str(), EventTypeName(type), eventId,
                                     category, insertions, given, message});
    t_reporting = nullptr;
    WriteEventFile(source->name.c_str(), type, category, eventId, strings, count, message);
    return true;
}

}  // namespace mvos
