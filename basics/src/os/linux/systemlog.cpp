// Linux backend: the system log. An event goes to journald as a structured record when
// journald's native socket exists, else as one datagram of the library's own to the
// syslog socket. Nothing here calls openlog/closelog or otherwise changes the process's
// own logging state, and no descriptor stays open between events.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "os/linux/internal.h"
#include "os/os.h"

namespace mvos {

const char kSystemLogIdentifier[] = "merivane";

namespace {

using JournalSendv = decltype(&::sd_journal_sendv);

// libsystemd, opened when the first event goes to journald.
std::mutex g_journalLock;
void* g_systemd = nullptr;
JournalSendv g_sendv = nullptr;

bool IsSocket(const char* path) {
    struct stat st;
    return path != nullptr && ::stat(path, &st) == 0 && S_ISSOCK(st.st_mode);
}

// The journal record: the message and priority, the one-word identifier, and the
// event's own fields (MERIVANE_SOURCE is the source name whole, blanks and all).
bool SendToJournal(const SystemLogEvent& event) {
    std::vector<std::string> fields;
    fields.push_back(std::string("MESSAGE=") + event.message);
    fields.push_back("PRIORITY=" + std::to_string(event.priority));
    fields.push_back(std::string("SYSLOG_IDENTIFIER=") + kSystemLogIdentifier);
    fields.push_back("SYSLOG_FACILITY=" + std::to_string(LOG_USER >> 3));
    fields.push_back(std::string("MERIVANE_SOURCE=") + event.source);
    fields.push_back(std::string("MERIVANE_EVENT_TYPE=") + event.type);
    fields.push_back("MERIVANE_EVENT_ID=" + std::to_string(event.eventId));
    fields.push_back("MERIVANE_CATEGORY=" + std::to_string(event.category));
    fields.push_back("MERIVANE_KIND=" + std::to_string(event.eventId & 0xFFFFu));
    for (int i = 0; i < event.count; ++i) {
        fields.push_back("MERIVANE_STRING" + std::to_string(i + 1) + "=" + event.strings[i]);
    }
    std::vector<iovec> parts;
    for (std::string& f : fields) parts.push_back(iovec{f.data(), f.size()});
    return Syscalls().journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

// One datagram in the traditional syslog form: "<facility+priority>Mmm dd hh:mm:ss
// identifier[pid]: message". The socket is non-blocking: a full queue drops the event.
void SendToSyslogSocket(const SystemLogEvent& event) {
    const char* path = Syscalls().syslog_socket;
    sockaddr_un address{};
    if (path == nullptr || std::strlen(path) >= sizeof address.sun_path) return;
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path);
    time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    char head[96];
    std::snprintf(head, sizeof head, "<%d>%s %s[%lu]: ", LOG_USER | event.priority, stamp,
                  kSystemLogIdentifier, static_cast<unsigned long>(::getpid()));
    std::string datagram = std::string(head) + event.message;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    ::sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
}

}  // namespace

void SendToSystemLog(const SystemLogEvent& event) {
    if (IsSocket(Syscalls().journal_socket) && SendToJournal(event)) return;
    SendToSyslogSocket(event);
}

int DefaultJournalSendv(const iovec* parts, int count) {
    std::lock_guard<std::mutex> guard(g_journalLock);
    if (g_sendv == nullptr && g_systemd == nullptr) {
        g_systemd = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (g_systemd != nullptr) {
            g_sendv = reinterpret_cast<JournalSendv>(::dlsym(g_systemd, "sd_journal_sendv"));
        }
    }
    return g_sendv != nullptr ? g_sendv(parts, count) : -ENOSYS;
}

void ReleaseSystemLog() {
    std::lock_guard<std::mutex> guard(g_journalLock);
    if (g_systemd != nullptr) ::dlclose(g_systemd);
    g_systemd = nullptr;
    g_sendv = nullptr;
}

}  // namespace mvos
