// The system log and the event file: journald's record, the syslog datagram, the
// process's own logging left alone, and files that are not regular never written or
// waited on.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "in_child.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"

namespace {
int g_openlogCalls = 0;
}  // namespace

// The process's own logging state belongs to the host: these stand in for the C
// library's and count every call the library would make.
extern "C" void openlog(const char*, int, int) {
    ++g_openlogCalls;
}
extern "C" void closelog() {
    ++g_openlogCalls;
}

namespace {

using namespace mvos;

// A datagram socket the test binds, standing for journald's or syslog's.
class BoundSocket {
  public:
    explicit BoundSocket(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(0, ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    }
    ~BoundSocket() { ::close(m_fd); }
    std::vector<std::string> Received() {
        std::vector<std::string> all;
        char buffer[65536];
        for (ssize_t n; (n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0;)
            all.emplace_back(buffer, n);
        return all;
    }
    const char* Path() const { return m_path.c_str(); }

  private:
    std::string m_path;
    int m_fd = -1;
};

std::vector<std::string> g_journal;  // the fields of the last record sent to journald
int g_journalResult = 0;
int CaptureJournal(const iovec* parts, int count) {
    g_journal.clear();
    for (int i = 0; i < count; ++i) {
        g_journal.emplace_back(static_cast<const char*>(parts[i].iov_base), parts[i].iov_len);
    }
    return g_journalResult;
}

class SystemLog : public mvtest::IsolatedTest {
  protected:
    SystemLog()
        : m_journal(m_dir.File("journal.socket")),
          m_syslog(m_dir.File("log.socket")),
          m_send(&SyscallTable::syslog, DefaultSyscalls().syslog),
          m_journalPath(&SyscallTable::journal_socket, m_journal.Path()),
          m_syslogPath(&SyscallTable::syslog_socket, m_syslog.Path()) {
        g_journal.clear();
        g_journalResult = 0;
    }
    static bool Report(EventSourceHandle source, EventType type, const char* text) {
        const char* strings[] = {"(Merivane 12.0.2.155.0)", text, "4242", "/opt/host"};
        return ReportEvent(source, type, 0, 0xC0000004u, strings, 4, "ERROR: %2 %1");
    }

    BoundSocket m_journal;
    BoundSocket m_syslog;
    ScopedSyscall<void (*)(const SystemLogEvent&)> m_send;
    ScopedSyscall<const char*> m_journalPath;
    ScopedSyscall<const char*> m_syslogPath;
};

// With journald's socket present, the event is one structured record: the whole source
// name, the event's numbers and insertion strings, and the one-word identifier.
TEST_F(SystemLog, JournaldGetsAStructuredRecord) {
    ScopedSyscall<int (*)(const iovec*, int)> capture(&SyscallTable::journal_sendv, CaptureJournal);
    EventSourceHandle source = RegisterEventSource("Merivane Runtime System 12 (100)");
    ASSERT_TRUE(Report(source, EventType::kError, "line one\nline two"));
    const std::vector<std::string> expected = {
        "MESSAGE=ERROR: line one\nline two (Merivane 12.0.2.155.0)",
        "PRIORITY=" + std::to_string(LOG_ERR),
        "SYSLOG_IDENTIFIER=merivane",
        "SYSLOG_FACILITY=1",
        "MERIVANE_SOURCE=Merivane Runtime System 12 (100)",
        "MERIVANE_EVENT_TYPE=error",
        "MERIVANE_EVENT_ID=3221225476",
        "MERIVANE_CATEGORY=0",
        "MERIVANE_KIND=4",
        "MERIVANE_STRING1=(Merivane 12.0.2.155.0)",
        "MERIVANE_STRING2=line one\nline two",
        "MERIVANE_STRING3=4242",
        "MERIVANE_STRING4=/opt/host",
    };
    EXPECT_EQ(expected, g_journal);
    EXPECT_TRUE(m_syslog.Received().empty());
    EXPECT_EQ(0, g_openlogCalls);

    // journald refusing the record: the syslog socket gets it instead.
    g_journalResult = -EAGAIN;
    ASSERT_TRUE(Report(source, EventType::kWarning, "refused"));
    auto datagrams = m_syslog.Received();
    ASSERT_EQ(1u, datagrams.size());
    EXPECT_NE(std::string::npos, datagrams[0].find("ERROR: refused"));
    DeregisterEventSource(source);
}

// Without journald: one datagram "<facility+priority>stamp merivane[pid]: message" per
// event, the priority mapping by type, and no openlog/closelog ever.
TEST_F(SystemLog, WithoutJournaldOneDatagramPerEvent) {
    const std::string absent = m_dir.File("absent.socket");
    ScopedSyscall<const char*> noJournal(&SyscallTable::journal_socket, absent.c_str());
    EventSourceHandle source = RegisterEventSource("Merivane Runtime System 12 (100)");
    const struct {
        EventType type;
        int priority;
    } cases[] = {{EventType::kError, LOG_ERR},
                 {EventType::kWarning, LOG_WARNING},
                 {EventType::kInformation, LOG_INFO},
                 {EventType::kSuccess, LOG_INFO}};
    for (const auto& c : cases) ASSERT_TRUE(Report(source, c.type, "text"));
    auto datagrams = m_syslog.Received();
    ASSERT_EQ(4u, datagrams.size());
    const std::string tail = " merivane[" + std::to_string(getpid()) + "]: ERROR: text (Merivane";
    for (size_t i = 0; i < 4; ++i) {
        const std::string head = "<" + std::to_string(LOG_USER | cases[i].priority) + ">";
        EXPECT_EQ(head, datagrams[i].substr(0, head.size())) << datagrams[i];
        EXPECT_NE(std::string::npos, datagrams[i].find(tail)) << datagrams[i];
    }
    EXPECT_TRUE(g_journal.empty());
    EXPECT_EQ(0, g_openlogCalls);
    // No socket at all: the event is still accepted (and dropped), nothing waits.
    ScopedSyscall<const char*> noSyslog(&SyscallTable::syslog_socket, absent.c_str());
    EXPECT_TRUE(Report(source, EventType::kError, "dropped"));
    DeregisterEventSource(source);
}

bool Mapped(const char* name) {
    return mvtest::ReadFile("/proc/self/maps").find(name) != std::string::npos;
}

// journald's own sender is loaded with the first event that goes to journald, and
// released with the rest of what the OS layer opened on demand.
TEST_F(SystemLog, JournalSenderIsLoadedOnFirstUseAndReleased) {
    ASSERT_FALSE(Mapped("libsystemd"));
    EventSourceHandle source = RegisterEventSource("Merivane Runtime System 12 (100)");
    ASSERT_TRUE(Report(source, EventType::kError, "loaded"));
    EXPECT_TRUE(Mapped("libsystemd"));
    ReleaseOnUnload();
    EXPECT_FALSE(Mapped("libsystemd"));
    DeregisterEventSource(source);
}

// A FIFO never blocks a report (no reader: the open fails at once; a reader: nothing is
// written to it), and a folder or a device is not written either.
TEST_F(SystemLog, NonRegularEventFilesAreNeverWrittenOrWaitedOn) {
    const std::string fifo = m_dir.File("events.fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(0, InChild([&] {
                  ::alarm(10);  // a blocked report ends the child with SIGALRM
                  mvtest::ScopedEnv env("MERIVANE_EVENT_LOG", fifo);
                  EventSourceHandle source = RegisterEventSource("Merivane");
                  bool ok = Report(source, EventType::kError, "no reader");
                  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                  ok = ok && Report(source, EventType::kError, "a reader");
                  char byte;
                  ok = ok && ::read(reader, &byte, 1) == 0;
                  {
                      mvtest::ScopedEnv folder("MERIVANE_EVENT_LOG", m_dir.Path());
                      ok = ok && Report(source, EventType::kError, "a folder");
                  }
                  return ok ? 0 : 1;
              }));
}

}  // namespace
