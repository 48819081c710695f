// The system log and the event file: journald's record, the syslog datagram, the
// process's own logging left alone, valid UTF-8 JSON whatever the bytes, and files that
// are not regular never written or waited on.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

std::string Hex(const std::string& bytes) {
    std::string out = "h";
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

// python3's strict decoders over the event file: every line must be UTF-8 and JSON.
// Each line of `cases` holds the hex of a report's bytes and the hex of the text the
// file must give back (each after an "h"), or "-" when only a report that is valid
// UTF-8 must come back unchanged.
const char kStrictCheck[] =
    "import json,sys\n"
    "lines=open(sys.argv[1],encoding='utf-8',errors='strict').read().splitlines()\n"
    "cases=[c.split() for c in open(sys.argv[2]).read().splitlines()]\n"
    "assert len(lines)==len(cases),(len(lines),len(cases))\n"
    "for line,(given,want) in zip(lines,cases):\n"
    "  got=json.loads(line)['strings'][1]\n"
    "  raw=bytes.fromhex(given[1:])\n"
    "  if want!='-': assert got==bytes.fromhex(want[1:]).decode('utf-8'),(got,want)\n"
    "  else:\n"
    "    try: assert got==raw.decode('utf-8'),(got,raw)\n"
    "    except UnicodeDecodeError: pass\n";

// The event file is valid UTF-8 JSON whatever a report holds: valid sequences are kept,
// every byte that is not part of one becomes U+FFFD; checked with a strict decoder.
TEST_F(SystemLog, EventFileIsValidUtf8JsonWhateverTheBytes) {
    EventSourceHandle source = RegisterEventSource("Merivane \xE9 source");
    const std::string fffd = "\xEF\xBF\xBD";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"caf\xE9", "caf" + fffd},                                         // Latin-1 byte
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // kept
        {"\xC0\xAF", fffd + fffd},                                         // overlong '/'
        {"\xED\xA0\x80", fffd + fffd + fffd},                              // surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},                   // past U+10FFFF
        {"end\xF0\x9F\x98", "end" + fffd + fffd + fffd},                   // cut short
        {"\x7F\x01\"\\\t", "\x7F\x01\"\\\t"},                              // escapes
    };
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        for (int n = random() % 12; n > 0; --n) {
            // Mostly bytes of multi-byte sequences, so that valid ones come up too.
            bytes +=
                static_cast<char>(random() % 4 == 0 ? 1 + random() % 127 : 0x80 + random() % 128);
        }
        cases.emplace_back(bytes, "");
    }
    std::string table;
    for (const auto& c : cases) {
        ASSERT_TRUE(Report(source, EventType::kError, c.first.c_str()));
        table += Hex(c.first) + " " +
                 (c.second.empty() && !c.first.empty() ? std::string("-") : Hex(c.second)) + "\n";
    }
    DeregisterEventSource(source);
    const std::string script = m_dir.File("check.py"), expected = m_dir.File("cases.txt");
    std::FILE* f = std::fopen(script.c_str(), "w");
    std::fputs(kStrictCheck, f);
    std::fclose(f);
    f = std::fopen(expected.c_str(), "w");
    std::fputs(table.c_str(), f);
    std::fclose(f);
    // The system's python3 (the Debian package) where there is one: quick to start.
    const char* python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string command =
        std::string(python) + " " + script + " " + EventFile() + " " + expected;
    EXPECT_EQ(0, std::system(command.c_str()));
}

// A FIFO never blocks a report (no reader: the open fails at once; a reader: nothing is
// written to it), and a folder or a device is not written either.
TEST_F(SystemLog, NonRegularEventFilesAreNeverWrittenOrWaitedOn) {
    const std::string fifo = m_dir.File("events.fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    pid_t child = ::fork();
    if (child == 0) {
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
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
