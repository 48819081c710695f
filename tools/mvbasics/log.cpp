// mvbasics log: the events of the event file (MERIVANE_EVENT_LOG), one line each, or
// followed as they come.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "log_events.h"

namespace mvtool {
namespace {

// How often a followed file is looked at again.
constexpr long kFollowPollMs = 250;
// Read at most this much before looking for a stop signal.
constexpr size_t kReadBatch = 4 << 20;

struct LogOptions {
    std::string file;
    bool follow = false;
    std::string since;
    std::vector<std::string> sources;
    bool json = false;
};

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Shows the events that pass the filters; reports the lines that are not events.
class EventPrinter {
  public:
    EventPrinter(const LogOptions& options, int64_t sinceMs)
        : m_options(options), m_sinceMs(sinceMs) {}

    void Line(uint64_t number, const std::string* line) {
        const std::string where = m_options.file + ":" + std::to_string(number);
        if (line == nullptr) {
            Fail(where, "line longer than " + std::to_string(kMaxEventLine) + " bytes, skipped");
            return;
        }
        Event event;
        std::string cause;
        if (!ParseEventLine(*line, &event, &cause)) {
            Fail(where, cause + ", skipped");
            return;
        }
        if (event.timeMs < m_sinceMs || !Wanted(event.source)) return;
        if (m_options.json) {
            PrintJson(EventJson(event));
        } else {
            std::printf("%s\n", ReadableEvent(event).c_str());
        }
    }

  private:
    bool Wanted(const std::string& source) const {
        if (m_options.sources.empty()) return true;
        for (const std::string& s : m_options.sources) {
            if (s == source) return true;
        }
        return false;
    }

    const LogOptions& m_options;
    const int64_t m_sinceMs;
};

// The event file, read from where the last read stopped. Only a regular file is read: a
// FIFO or a device would never end.
class EventFile {
  public:
    explicit EventFile(const std::string& path) : m_path(path) {}
    ~EventFile() { Close(); }
    EventFile(const EventFile&) = delete;
    EventFile& operator=(const EventFile&) = delete;

    bool Open(std::string* cause) {
        Close();
        m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (m_fd < 0) return *cause = "cannot open: " + SystemCause(), false;
        if (fstat(m_fd, &m_stat) != 0 || !S_ISREG(m_stat.st_mode)) {
            Close();
            return *cause = "not a regular file", false;
        }
        m_offset = 0;
        return true;
    }
    bool IsOpen() const { return m_fd >= 0; }

    // Reads on from the last position, at most limit bytes; false on a read error.
    // *more: the batch was full and more may be there.
    bool Read(LineSplitter& lines, size_t limit, bool* more) {
        char buffer[64 * 1024];
        size_t total = 0;
        for (;;) {
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return *more = false, true;
            lines.Feed(buffer, static_cast<size_t>(n));
            m_offset += n;
            total += static_cast<size_t>(n);
            if (total >= limit) return *more = true, true;
        }
    }

    // What happened to the file since the last look (for --follow).
    enum class Change { kNone, kTruncated, kReplaced, kGone };
    Change Look() {
        struct stat now;
        if (stat(m_path.c_str(), &now) != 0) return Change::kGone;
        if (!IsOpen() || now.st_ino != m_stat.st_ino || now.st_dev != m_stat.st_dev)
            return Change::kReplaced;
        if (now.st_size < m_offset) {
            lseek(m_fd, 0, SEEK_SET);
            m_offset = 0;
            return Change::kTruncated;
        }
        return Change::kNone;
    }

  private:
    void Close() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

    std::string m_path;
    int m_fd = -1;
    struct stat m_stat = {};
    off_t m_offset = 0;
};

// SIGINT and SIGTERM end --follow: they are blocked and taken with sigtimedwait, which
// also serves as the pause between two looks at the file.
class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGINT);
        sigaddset(&m_set, SIGTERM);
        sigprocmask(SIG_BLOCK, &m_set, &m_previous);
    }
    ~StopSignals() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    // Waits up to ms milliseconds; true when a stop signal came.
    bool Wait(long ms) {
        const timespec timeout = {ms / 1000, (ms % 1000) * 1000000};
        return sigtimedwait(&m_set, nullptr, &timeout) > 0;
    }

  private:
    sigset_t m_set;
    sigset_t m_previous;
};

int ReadOnce(const LogOptions& options, LineSplitter& lines) {
    EventFile file(options.file);
    std::string cause;
    if (!file.Open(&cause)) return Fail(options.file, cause);
    bool more = false;
    if (!file.Read(lines, SIZE_MAX, &more))
        return Fail(options.file, "cannot read: " + SystemCause());
    lines.Finish();
    return kExitOk;
}

// Keeps reading what is added; starts over when the file is truncated, and takes the new
// file when it is replaced (rotated), after the rest of the old one.
int Follow(const LogOptions& options, LineSplitter& lines) {
    StopSignals stop;
    EventFile file(options.file);
    std::string cause;
    if (!file.Open(&cause)) Fail(options.file, cause + "; waiting for it");
    for (;;) {
        bool more = false;
        if (file.IsOpen() && !file.Read(lines, kReadBatch, &more))
            return Fail(options.file, "cannot read: " + SystemCause());
        std::fflush(stdout);
        if (stop.Wait(more ? 0 : kFollowPollMs)) return kExitOk;
        if (more) continue;
        switch (file.Look()) {
            case EventFile::Change::kTruncated:
                Fail(options.file, "truncated; reading it from the start");
                lines.Reset();
                break;
            case EventFile::Change::kReplaced:
                if (file.IsOpen()) {
                    if (!file.Read(lines, SIZE_MAX, &more))  // the rest of the old file
                        return Fail(options.file, "cannot read: " + SystemCause());
                    Fail(options.file, "replaced; reading the new file");
                }
                lines.Finish();
                lines.Reset();
                if (!file.Open(&cause)) Fail(options.file, cause + "; waiting for it");
                break;
            default:
                break;
        }
    }
}

int Log(LogOptions options) {
    if (options.file.empty()) {
        const char* env = std::getenv("MERIVANE_EVENT_LOG");
        if (env == nullptr || *env == '\0')
            return UsageError("event file", "MERIVANE_EVENT_LOG is not set; name it with --file");
        options.file = env;
    }
    int64_t sinceMs = INT64_MIN;
    if (!options.since.empty() && !ParseSince(options.since, NowMs(), &sinceMs))
        return UsageError("--since " + options.since, "not a time (see mvbasics log --help)");
    EventPrinter printer(options, sinceMs);
    LineSplitter lines([&printer](uint64_t n, const std::string* line) { printer.Line(n, line); });
    return options.follow ? Follow(options, lines) : ReadOnce(options, lines);
}

}  // namespace

void AddLogCommand(CLI::App& app) {
    CLI::App* log = app.add_subcommand("log", "the library's events from the event file");
    log->footer(
        "The event file is the one the library writes to: MERIVANE_EVENT_LOG, or --file.\n"
        "Times are UTC. --since takes 2026-12-06, 2026-12-06T07:20, 2026-12-06 07:20:05.250\n"
        "(a 'Z' may follow), a time back from now (30s, 15m, 2h, 7d), or 'now'.\n"
        "Lines that are not events are named on standard error (file:line: cause) and\n"
        "skipped; they do not change the exit status.");
    auto options = std::make_shared<LogOptions>();
    log->add_flag("-f,--follow", options->follow,
                  "keep reading as events come (after truncation or rotation as well) until "
                  "SIGINT or SIGTERM");
    log->add_option("--since", options->since, "only events at or after this time");
    log->add_option("--source", options->sources, "only events of this source (repeatable)");
    log->add_flag("--json", options->json, "one JSON object per event and line");
    log->add_option("--file", options->file, "the event file (default: $MERIVANE_EVENT_LOG)");
    OnRun(log, [options] { return Log(*options); });
}

}  // namespace mvtool
