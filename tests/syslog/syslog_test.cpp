// The system log and the message object: switches, truncation, event kinds, sources,
// registration and message-box answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diag/syslog_internal.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "os/scratch_dir.h"
#include "systemlog.h"

#include <sqlite3.h>

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

TEST(Switches, EnableReturnsThePreviousValue) {
    TnSysLog* log = TnSystemLog();
    EXPECT_EQ(log, TnSystemLog());
    EXPECT_EQ(1, log->Enable(5));
    EXPECT_EQ(5, log->Enable(0));
    CapturingLog capture;
    capture.Report(2, "dropped while off");
    EXPECT_TRUE(capture.kinds.empty());
    EXPECT_EQ(0, capture.Enable(1));  // one switch shared by every log object

    TnMsg* msg = TnMessage();
    EXPECT_EQ(msg, TnMessage());
    EXPECT_EQ(0, msg->Enable(5));
    EXPECT_EQ(1, msg->Enable(0));
    EXPECT_EQ(0, msg->Enable(0));
}

TEST(Report, TextIsCutAt1023CharactersAndTheLengthSays1024) {
    CapturingLog log;
    std::string fits(1023, 'a'), longer(2000, 'b');
    log.Report(3, "%s", fits.c_str());
    log.Report(3, "%s", longer.c_str());
    log.Report(7, "%d-%s", 42, "x");
    ASSERT_EQ(3u, log.kinds.size());
    EXPECT_EQ(1023u, log.lengths[0]);
    EXPECT_EQ(fits, log.texts[0]);
    EXPECT_EQ(1024u, log.lengths[1]);
    EXPECT_EQ(std::string(1023, 'b'), log.texts[1]);
    EXPECT_EQ(7, log.kinds[2]);
    EXPECT_EQ("42-x", log.texts[2]);
    EXPECT_EQ(4u, log.lengths[2]);
}

TEST(EventKinds, TypeAndIdentifierOfEveryKind) {
    struct {
        int kind;
        mvos::EventType type;
        uint32_t id;
    } expected[] = {
        {0, mvos::EventType::kInformation, 0x40000000u},
        {1, mvos::EventType::kSuccess, 0x00000001u},
        {2, mvos::EventType::kInformation, 0x40000002u},
        {3, mvos::EventType::kWarning, 0x80000003u},
        {4, mvos::EventType::kError, 0xC0000004u},
        {5, mvos::EventType::kSuccess, 0x00000005u},
        {6, mvos::EventType::kSuccess, 0x00000006u},
        {7, mvos::EventType::kSuccess, 0x00000007u},
        {8, mvos::EventType::kSuccess, 0x00000008u},
        {9, mvos::EventType::kError, 0xC0000009u},
        {10, mvos::EventType::kError, 0xC000000Au},
        {11, mvos::EventType::kError, 0xC000000Bu},
        {12, mvos::EventType::kInformation, 0x4000000Cu},
    };
    for (const auto& e : expected) {
        mvos::EventType type;
        uint32_t id = 0;
        mvb::syslog::KindToEvent(e.kind, &type, &id);
        EXPECT_EQ(e.type, type) << e.kind;
        EXPECT_EQ(e.id, id) << e.kind;
        EXPECT_EQ(e.kind >= 1 && e.kind <= 11, mvb::syslog::EventTemplateOf(id) != nullptr);
    }
}

class EventFile : public mvtest::IsolatedTest {
  protected:
    std::string Field(const std::string& line, const std::string& name) {
        size_t at = line.find("\"" + name + "\":");
        if (at == std::string::npos) return "";
        at += name.size() + 3;
        if (line[at] == '"') {
            size_t end = at + 1;
            while (line[end] != '"') end += line[end] == '\\' ? 2 : 1;
            return line.substr(at + 1, end - at - 1);
        }
        return line.substr(at, line.find_first_of(",}", at) - at);
    }
};

// Every kind through the real system log, as the event file records it.
TEST_F(EventFile, EveryKindIsRenderedWithItsTemplate) {
    for (int kind = 0; kind <= 12; ++kind) TnSystemLog()->Report(kind, "k%d", kind);
    auto lines = EventLines();
    ASSERT_EQ(13u, lines.size());
    char exe[PATH_MAX];
    ASSERT_GT(mvos::ExecutablePath(exe, sizeof exe), 0u);
    const std::string v = " (Merivane 12.0.2.155.0)";
    const std::string pid = "\\nPID=" + std::to_string(getpid());
    const std::string path = "\\nEXE=" + std::string(exe);
    const std::string expected[] = {
        "(Merivane 12.0.2.155.0) k0 " + std::to_string(getpid()) + " " + exe,
        "SUCCESS: k1 ",
        "k2",
        "WARNING: k3" + v + pid + path,
        "ERROR: k4" + v + pid + path,
        "k5" + v,
        "k6" + v,
        "k7" + v + pid + path,
        "k8" + v + pid,
        "k9" + v + pid + path,
        "k10" + v + pid + path + "\\nAborted.",
        "k11" + v + pid + path,
        "(Merivane 12.0.2.155.0) k12 " + std::to_string(getpid()) + " " + exe,
    };
    const char* types[] = {"information", "success", "information", "warning", "error",
                           "success",     "success", "success",     "success", "error",
                           "error",       "error",   "information"};
    for (int kind = 0; kind <= 12; ++kind) {
        const std::string& line = lines[static_cast<size_t>(kind)];
        EXPECT_EQ(expected[kind], Field(line, "message")) << kind;
        EXPECT_EQ(types[kind], Field(line, "type")) << kind;
        EXPECT_EQ(std::to_string(kind), Field(line, "kind")) << kind;
        EXPECT_EQ("Merivane Runtime System 12 (100)", Field(line, "source"));
    }
}

TEST_F(EventFile, SourcesOpenOnceAndOnlyWhereEventsAreLogged) {
    TnSysLogWin32 named;
    named.m_isNT = 1;
    named.OpenSource("Custom Source");
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
    EXPECT_EQ("Custom Source", Field(lines[0], "source"));
    EXPECT_EQ("one", Field(lines[0], "message"));
}

TEST(EventSourceNames, OnlyTheRunningBuildsEntryIsFormed) {
    TnEventSourceNames names;
    EXPECT_EQ(2, names.m_selected);
    EXPECT_STREQ("100", TnEventSourceNames::kTags[names.m_selected]);
    EXPECT_STREQ("Merivane Runtime System 12 (100)", names.SourceName());
    EXPECT_STREQ("Merivane Runtime System 12 (100D)", names.DebugSourceName());
    for (int i = 0; i < TnEventSourceNames::kTagCount; ++i) {
        if (i == 2) continue;
        EXPECT_EQ(nullptr, names.m_entries[i].name);
        EXPECT_EQ(nullptr, names.m_entries[i].debugName);
    }
    ASSERT_NE(nullptr, mvb::syslog::EventSourceNames());  // built at start-up

    mvos::ScopedSyscall<void* (*)(size_t)> noMemory(&mvos::SyscallTable::malloc,
                                                    [](size_t) -> void* { return nullptr; });
    TnEventSourceNames starved;
    EXPECT_EQ(2, starved.m_selected);
    EXPECT_EQ(nullptr, starved.SourceName());
    EXPECT_EQ(nullptr, starved.DebugSourceName());
}

TEST(EventSourceNames, DebugBuildsAreRecognisedByTheirFileName) {
    EXPECT_TRUE(mvb::syslog::IsDebugModuleName("/opt/x/MV120Mbs100d.so"));
    EXPECT_TRUE(mvb::syslog::IsDebugModuleName("MV120Mbs100D"));
    EXPECT_FALSE(mvb::syslog::IsDebugModuleName("/opt/d/MV120Mbs100.so"));
    EXPECT_FALSE(mvb::syslog::IsDebugModuleName("/opt/x/.so"));
    EXPECT_TRUE(mvb::syslog::IsDebugModuleName("/opt/x/build.d.so"));
}

class InstallSource : public mvtest::IsolatedTest {
  protected:
    static std::string Key(const std::string& name) {
        return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
    }
};

TEST_F(InstallSource, WritesTheMessageFileAndTheTypes) {
    TnSysLogWin32 log;
    ASSERT_EQ(0, log.InstallSource("Merivane Test Source"));
    mvos::RegKey key = nullptr;
    ASSERT_EQ(mvos::kOk, mvos::RegOpenKey(mvos::kLocalMachine, Key("merivane test source").c_str(),
                                          mvos::kKeyRead, &key));
    char path[PATH_MAX + 1];
    uint32_t type = 0, size = sizeof path;
    ASSERT_EQ(mvos::kOk, mvos::RegQueryValue(key, "EventMessageFile", &type, path, &size));
    EXPECT_EQ(mvos::kRegExpandSz, type);
    char own[PATH_MAX];
    ASSERT_GT(mvos::OwnModuleFileName(own, sizeof own), 0u);
    EXPECT_EQ(std::strlen(own) + 1, size);  // the NUL is counted
    EXPECT_STREQ(own, path);
    uint32_t types = 0;
    size = sizeof types;
    ASSERT_EQ(mvos::kOk, mvos::RegQueryValue(key, "TypesSupported", &type, &types, &size));
    EXPECT_EQ(mvos::kRegDword, type);
    EXPECT_EQ(7u, types);
    mvos::RegCloseKey(key);
    EXPECT_EQ(0, log.InstallSource("Merivane Test Source"));  // again: same values
    EXPECT_EQ(0, TnSystemLog()->InstallSource("Through The Process Log"));
}

int g_inserts = 0;
int FailSecondValue(sqlite3_stmt* stmt) {
    const char* sql = sqlite3_sql(stmt);
    if (std::strncmp(sql, "INSERT INTO vals", 16) == 0 && ++g_inserts == 2) return 10;  // I/O
    return sqlite3_step(stmt);
}

TEST_F(InstallSource, AHalfMadeKeyIsRemoved) {
    TnSysLogWin32 log;
    {
        mvos::ScopedSyscall<int (*)(sqlite3_stmt*)> fail(&mvos::SyscallTable::db_step,
                                                         FailSecondValue);
        g_inserts = 0;
        EXPECT_EQ(-1, log.InstallSource("Half Made"));
        EXPECT_EQ(2, g_inserts);
    }
    mvos::RegKey key = nullptr;
    EXPECT_EQ(mvos::kFileNotFound, mvos::RegOpenKey(mvos::kLocalMachine, Key("Half Made").c_str(),
                                                    mvos::kKeyRead, &key));
    // The parent keys stay; only the source's key goes.
    ASSERT_EQ(mvos::kOk,
              mvos::RegOpenKey(mvos::kLocalMachine,
                               "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
                               mvos::kKeyRead, &key));
    mvos::RegCloseKey(key);
    // A name no key can carry fails cleanly too.
    EXPECT_EQ(-1, log.InstallSource(std::string(300, 'n').c_str()));
    EXPECT_EQ(-1, log.InstallSource(""));
}

// ---------------------------------------------------------------- message boxes

struct Box {
    std::string title;
    unsigned style;
    std::string text;
};
std::vector<Box> g_boxes;
int g_answer = 1;
int Presenter(const char* title, unsigned style, const char* text) {
    g_boxes.push_back(Box{title, style, text});
    return g_answer;
}

class MessageBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        g_boxes.clear();
        g_answer = 1;
        m_old = TnSetMessageBoxPresenter(Presenter);
    }
    void TearDown() override {
        TnSetMessageBoxPresenter(m_old);
        TnMessage()->Enable(0);
    }
    TnMessageBoxPresenter m_old = nullptr;
};

TEST_F(MessageBoxes, SwitchOffShowsNothingUnlessBit29) {
    TnMessage()->Enable(0);
    EXPECT_EQ(TN_MSG_NOT_SHOWN, TnMessage()->Show("t", 0, "hidden %d", 1));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(TN_MSG_OK, TnMessage()->Show("t", TN_MSG_ALWAYS_SHOW, "shown %d", 2));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("shown 2", g_boxes[0].text);
    TnMessage()->Enable(1);
    EXPECT_EQ(TN_MSG_OK, TnMessage()->Show(nullptr, 0, "on"));
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ("Merivane Runtime System", g_boxes[1].title);
}

TEST_F(MessageBoxes, StyleGetsTheFixedFlagsAndLosesTheLibrarysBits) {
    TnMsgWindows box;
    box.Display("t", 0, "x");
    box.Display("t", 0xFFFFFFFFu, "x");
    box.Display("t", 0x00000023u | TN_MSG_ALWAYS_SHOW, "x");
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ(0x252000u, g_boxes[0].style);
    EXPECT_EQ(0xFFFFFFu, g_boxes[1].style);  // 0xDADFFF | 0x252000
    EXPECT_EQ(0x252023u, g_boxes[2].style);
}

TEST_F(MessageBoxes, AnswersMapToTheLibrarysResults) {
    const unsigned expected[] = {TN_MSG_OK,     TN_MSG_OK,    TN_MSG_CANCEL,
                                 TN_MSG_CANCEL, TN_MSG_RETRY, TN_MSG_IGNORE,
                                 TN_MSG_OK,     TN_MSG_NO,    TN_MSG_OK};
    TnMsgWindows box;
    for (int answer = 0; answer <= 8; ++answer) {
        g_answer = answer;
        EXPECT_EQ(expected[answer], box.Display("t", 0, "x")) << answer;
    }
}

TEST_F(MessageBoxes, DebuggerBreaksOnTheChosenAnswers) {
    TnMsgWindows box;
    struct {
        unsigned style;
        int answer;
        bool breaks;
    } cases[] = {
        {TN_MSG_BREAK_ON_RETRY, 4, true},
        {TN_MSG_BREAK_ON_RETRY, 2, false},
        {TN_MSG_BREAK_ON_CANCEL, 2, true},
        {TN_MSG_BREAK_ON_CANCEL, 3, true},
        {TN_MSG_BREAK_ON_CANCEL, 4, false},
        {0, 4, false},
        {0, 2, false},
    };
    for (const auto& c : cases) {
        g_answer = c.answer;
        // Inside a fault guard a debugger break shows up as the breakpoint code.
        uint32_t code = mvos::Guarded([&] { box.Display("t", c.style, "x"); });
        EXPECT_EQ(c.breaks ? mvos::kBreakpoint : 0u, code) << c.style << " " << c.answer;
    }
}

TEST_F(MessageBoxes, ShowCutsTextAt4095) {
    TnMessage()->Enable(1);
    std::string longText(5000, 'm');
    TnMessage()->Show("t", 0, "%s", longText.c_str());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(std::string(4095, 'm'), g_boxes[0].text);
}

TEST(DefaultPresenter, WritesAFramedBlockAndAnswersOk) {
    TnMsgWindows box;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(TN_MSG_OK, box.Display(nullptr, 0x30, "first\nsecond"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Merivane Runtime System"));
    EXPECT_NE(std::string::npos, err.find("| first\n| second\n"));
}

}  // namespace
