// The system log and the message object: switches, truncation, event kinds, sources,
// registration and message-box answers.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <syslog.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "diag/syslog_internal.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"
#include "systemlog.h"

namespace {

// Captures what Report hands to Write.
class CapturingLog : public TnSysLog {
  public:
    void Write(int kind, unsigned length, const char* text) override {
        kinds.push_back(kind);
        lengths.push_back(length);
        texts.push_back(text);
    }
    std::vector<int> kinds;
    std::vector<unsigned> lengths;
    std::vector<std::string> texts;
};

// The log switch is stored as given and shared by every log object; the message switch
// is 0 or 1. Report cuts its text at 1023 characters and then says 1024.
TEST(Report, SwitchesAndTheCutAt1023Characters) {
    TnSysLog* log = TnSystemLog();
    EXPECT_EQ(log, TnSystemLog());
    EXPECT_EQ(1, log->Enable(5));
    EXPECT_EQ(5, log->Enable(0));
    CapturingLog capture;
    capture.Report(2, "dropped while off");
    EXPECT_EQ(0, capture.Enable(1));
    TnMsg* msg = TnMessage();
    EXPECT_EQ(msg, TnMessage());
    EXPECT_EQ(0, msg->Enable(5));
    EXPECT_EQ(1, msg->Enable(0));

    std::string fits(1023, 'a'), longer(2000, 'b');
    capture.Report(3, "%s", fits.c_str());
    capture.Report(3, "%s", longer.c_str());
    capture.Report(7, "%d-%s", 42, "x");
    EXPECT_EQ((std::vector<int>{3, 3, 7}), capture.kinds);
    EXPECT_EQ((std::vector<unsigned>{1023, 1024, 4}), capture.lengths);
    EXPECT_EQ((std::vector<std::string>{fits, std::string(1023, 'b'), "42-x"}), capture.texts);
}

class EventFile : public mvtest::IsolatedTest {
  protected:
    static std::string Field(const std::string& line, const std::string& name) {
        size_t at = line.find("\"" + name + "\":");
        if (at == std::string::npos) return "";
        at += name.size() + 3;
        if (line[at] != '"') return line.substr(at, line.find_first_of(",}", at) - at);
        size_t end = at + 1;
        while (line[end] != '"') end += line[end] == '\\' ? 2 : 1;
        return line.substr(at + 1, end - at - 1);
    }
};

// Every kind through the real system log: its event type and identifier, the message
// its template makes and the insertion strings, as the event file records them, and the
// syslog priority of its type.
TEST_F(EventFile, EveryKindHasItsTypeIdentifierAndTemplate) {
    static std::vector<int> s_priorities;
    mvos::ScopedSyscall<void (*)(const mvos::SystemLogEvent&)> capture(
        &mvos::SyscallTable::syslog,
        [](const mvos::SystemLogEvent& event) { s_priorities.push_back(event.priority); });
    for (int kind = 0; kind <= 12; ++kind) TnSystemLog()->Report(kind, "k%d", kind);
    ASSERT_EQ(13u, s_priorities.size());
    auto lines = EventLines();
    ASSERT_EQ(13u, lines.size());
    char exe[PATH_MAX];
    ASSERT_GT(mvos::ExecutablePath(exe, sizeof exe), 0u);
    const std::string v = " (Merivane 12.0.2.155.0)", pid = "\\nPID=" + std::to_string(getpid());
    const std::string path = "\\nEXE=" + std::string(exe);
    const std::string plain = std::to_string(getpid()) + " " + exe;  // no template
    const struct {
        const char* type;
        uint32_t id;
        std::string message;
    } expected[] = {
        {"information", 0x40000000u, "(Merivane 12.0.2.155.0) k0 " + plain},
        {"success", 0x00000001u, "SUCCESS: k1 "},
        {"information", 0x40000002u, "k2"},
        {"warning", 0x80000003u, "WARNING: k3" + v + pid + path},
        {"error", 0xC0000004u, "ERROR: k4" + v + pid + path},
        {"success", 0x00000005u, "k5" + v},
        {"success", 0x00000006u, "k6" + v},
        {"success", 0x00000007u, "k7" + v + pid + path},
        {"success", 0x00000008u, "k8" + v + pid},
        {"error", 0xC0000009u, "k9" + v + pid + path},
        {"error", 0xC000000Au, "k10" + v + pid + path + "\\nAborted."},
        {"error", 0xC000000Bu, "k11" + v + pid + path},
        {"information", 0x4000000Cu, "(Merivane 12.0.2.155.0) k12 " + plain},
    };
    for (int kind = 0; kind <= 12; ++kind) {
        const std::string& line = lines[static_cast<size_t>(kind)];
        EXPECT_EQ(expected[kind].type, Field(line, "type")) << kind;
        EXPECT_EQ(std::to_string(expected[kind].id), Field(line, "id")) << kind;
        EXPECT_EQ(expected[kind].message, Field(line, "message")) << kind;
        EXPECT_EQ("Merivane Runtime System 12 (100)", Field(line, "source"));
        const std::string type = expected[kind].type;
        EXPECT_EQ(type == "error"     ? LOG_ERR
                  : type == "warning" ? LOG_WARNING
                                      : LOG_INFO,
                  s_priorities[static_cast<size_t>(kind)]);
    }
    EXPECT_NE(std::string::npos,
              lines[4].find("\"strings\":[\"(Merivane 12.0.2.155.0)\",\"k4\",\"" +
                            std::to_string(getpid()) + "\",\"" + exe + "\"]}"));
}

TEST_F(EventFile, SourcesOpenOnceAndOnlyWhereEventsAreLogged) {
    TnSysLogWin32 named;
    named.m_isNT = 1;
    named.OpenSource("Custom \"Source\"\t");
    EXPECT_EQ(std::to_string(getpid()), named.m_processId);
    named.OpenSource("Ignored Once Open");
    named.Report(2, "one");

    TnSysLogWin32 notNT;  // NT flag clear: nothing is ever logged
    notNT.Report(2, "dropped");
    EXPECT_EQ(reinterpret_cast<void*>(~uintptr_t{0}), notNT.m_hEventSource);

    TnSysLogWin32 failing;  // registration fails: dropped, and not tried again
    failing.m_isNT = 1;
    failing.OpenSource("");
    EXPECT_EQ(nullptr, failing.m_hEventSource);
    failing.Report(2, "dropped too");

    auto lines = EventLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("{\"time\":\"20"));
    EXPECT_EQ("Custom \\\"Source\\\"\\t", Field(lines[0], "source"));  // escaped
    EXPECT_EQ("one", Field(lines[0], "message"));
}

TEST(EventSourceNames, OnlyTheRunningBuildsEntryIsFormed) {
    TnEventSourceNames names;
    EXPECT_STREQ("100", TnEventSourceNames::kTags[names.m_selected]);
    EXPECT_STREQ("Merivane Runtime System 12 (100)", names.SourceName());
    EXPECT_STREQ("Merivane Runtime System 12 (100D)", names.DebugSourceName());
    for (int i = 0; i < TnEventSourceNames::kTagCount; ++i)
        EXPECT_EQ(i == names.m_selected, names.m_entries[i].name != nullptr) << i;
    ASSERT_NE(nullptr, mvb::diag::EventSourceNames());  // built at start-up

    mvos::ScopedSyscall<void* (*)(size_t)> noMemory(&mvos::SyscallTable::malloc,
                                                    [](size_t) -> void* { return nullptr; });
    TnEventSourceNames starved;  // the texts are missing, the selection stands
    EXPECT_EQ(names.m_selected, starved.m_selected);
    EXPECT_EQ(nullptr, starved.SourceName());
    EXPECT_EQ(nullptr, starved.DebugSourceName());

    // A debug build is told by its file name without folder and extension.
    EXPECT_TRUE(mvb::diag::IsDebugModuleName("/opt/x/MV120Mbs100d.so"));
    EXPECT_TRUE(mvb::diag::IsDebugModuleName("MV120Mbs100D"));
    EXPECT_TRUE(mvb::diag::IsDebugModuleName("/opt/x/build.d.so"));
    EXPECT_FALSE(mvb::diag::IsDebugModuleName("/opt/d/MV120Mbs100.so"));
    EXPECT_FALSE(mvb::diag::IsDebugModuleName("/opt/x/.so"));
}

using InstallSource = mvtest::IsolatedTest;
const std::string kSources = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

int g_inserts = 0;
int FailSecondValue(sqlite3_stmt* stmt) {
    const char* sql = sqlite3_sql(stmt);
    if (std::strncmp(sql, "INSERT INTO vals", 16) == 0 && ++g_inserts == 2) return SQLITE_IOERR;
    return sqlite3_step(stmt);
}

// The registration holds the library's own path (its NUL counted) and the types 7; a
// failure half-way removes the source's key, not its parents.
TEST_F(InstallSource, WritesTheTwoValuesOrNothing) {
    TnSysLogWin32 log;
    ASSERT_EQ(0, log.InstallSource("Merivane Test Source"));
    EXPECT_EQ(0, log.InstallSource("Merivane Test Source"));  // again: same values
    mvos::RegKey key = nullptr;
    ASSERT_EQ(mvos::kOk,
              mvos::RegOpenKey(mvos::kLocalMachine, (kSources + "\\merivane test source").c_str(),
                               mvos::kKeyRead, &key));
    char path[PATH_MAX + 1], own[PATH_MAX];
    uint32_t type = 0, size = sizeof path, types = 0;
    ASSERT_EQ(mvos::kOk, mvos::RegQueryValue(key, "EventMessageFile", &type, path, &size));
    EXPECT_EQ(mvos::kRegExpandSz, type);
    ASSERT_GT(mvos::OwnModuleFileName(own, sizeof own), 0u);
    EXPECT_EQ(std::strlen(own) + 1, size);
    EXPECT_STREQ(own, path);
    size = sizeof types;
    ASSERT_EQ(mvos::kOk, mvos::RegQueryValue(key, "TypesSupported", &type, &types, &size));
    EXPECT_EQ(mvos::kRegDword, type);
    EXPECT_EQ(7u, types);
    mvos::RegCloseKey(key);

    {
        mvos::ScopedSyscall<int (*)(sqlite3_stmt*)> fail(&mvos::SyscallTable::db_step,
                                                         FailSecondValue);
        EXPECT_EQ(-1, log.InstallSource("Half Made"));
        EXPECT_EQ(2, g_inserts);
    }
    EXPECT_EQ(mvos::kFileNotFound,
              mvos::RegOpenKey(mvos::kLocalMachine, (kSources + "\\Half Made").c_str(),
                               mvos::kKeyRead, &key));
    ASSERT_EQ(mvos::kOk,
              mvos::RegOpenKey(mvos::kLocalMachine, kSources.c_str(), mvos::kKeyRead, &key));
    mvos::RegCloseKey(key);
    // Names no key can carry fail cleanly too.
    EXPECT_EQ(-1, log.InstallSource(std::string(300, 'n').c_str()));
    EXPECT_EQ(-1, log.InstallSource(""));
}

std::vector<std::string> g_boxes;  // "title|style|text" of each box shown
int g_answer = 1;

class MessageBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        g_boxes.clear();
        g_answer = 1;
        m_old = TnSetMessageBoxPresenter([](const char* title, unsigned style, const char* text) {
            g_boxes.push_back(std::string(title) + "|" + std::to_string(style) + "|" + text);
            return g_answer;
        });
    }
    void TearDown() override {
        TnSetMessageBoxPresenter(m_old);
        TnMessage()->Enable(0);
    }
    TnMessageBoxPresenter m_old = nullptr;
};

TEST_F(MessageBoxes, SwitchOffShowsNothingUnlessBit29AndTextsAreCut) {
    TnMessage()->Enable(0);
    EXPECT_EQ(TN_MSG_NOT_SHOWN, TnMessage()->Show("t", 0, "hidden %d", 1));
    EXPECT_EQ(TN_MSG_NOT_SHOWN, TnMessage()->Show("t", 0x1FFFFFFFu, "hidden"));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(TN_MSG_OK, TnMessage()->Show("t", TN_MSG_ALWAYS_SHOW, "shown %d", 2));
    TnMessage()->Enable(1);
    EXPECT_EQ(TN_MSG_OK, TnMessage()->Show(nullptr, 0, "%s", std::string(5000, 'm').c_str()));
    EXPECT_EQ((std::vector<std::string>{"t|2433024|shown 2", "Merivane Runtime System|2433024|" +
                                                                 std::string(4095, 'm')}),
              g_boxes);
}

// The style the box gets, the answer's result and when the debugger is called: inside
// a fault guard a debugger break shows up as the breakpoint code.
TEST_F(MessageBoxes, StyleAnswersAndDebuggerBreaks) {
    struct {
        unsigned style;
        int answer;  // 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No
        unsigned boxStyle, result;
        bool breaks;
    } cases[] = {
        {0, 0, 0x252000u, TN_MSG_OK, false},  // no box could be shown
        {0, 1, 0x252000u, TN_MSG_OK, false},
        {0xFFFFFFFFu, 6, 0xFFFFFFu, TN_MSG_OK, false},
        {0x23u | TN_MSG_ALWAYS_SHOW, 8, 0x252023u, TN_MSG_OK, false},
        {0, 2, 0x252000u, TN_MSG_CANCEL, false},
        {0, 3, 0x252000u, TN_MSG_CANCEL, false},
        {0, 4, 0x252000u, TN_MSG_RETRY, false},
        {0, 5, 0x252000u, TN_MSG_IGNORE, false},
        {0, 7, 0x252000u, TN_MSG_NO, false},
        {TN_MSG_BREAK_ON_RETRY, 4, 0x252000u, TN_MSG_RETRY, true},
        {TN_MSG_BREAK_ON_RETRY, 2, 0x252000u, TN_MSG_CANCEL, false},
        {TN_MSG_BREAK_ON_CANCEL, 2, 0x252000u, TN_MSG_CANCEL, true},
        {TN_MSG_BREAK_ON_CANCEL, 3, 0x252000u, TN_MSG_CANCEL, true},
        {TN_MSG_BREAK_ON_CANCEL, 4, 0x252000u, TN_MSG_RETRY, false},
    };
    TnMsgWindows box;
    for (const auto& c : cases) {
        g_boxes.clear();
        g_answer = c.answer;
        unsigned result = 0;
        uint32_t code = mvos::Guarded([&] { result = box.Display("t", c.style, "x"); });
        EXPECT_EQ(c.breaks ? mvos::kBreakpoint : 0u, code) << c.style << " " << c.answer;
        EXPECT_EQ((std::vector<std::string>{"t|" + std::to_string(c.boxStyle) + "|x"}), g_boxes);
        if (!c.breaks) {
            EXPECT_EQ(c.result, result) << c.style << " " << c.answer;
        }
    }
}

}  // namespace
