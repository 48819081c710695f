// Process, module loading, debugger output, message boxes and the event log.
#include <dlfcn.h>
#include <syslog.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"
#include "os/os_testing.h"
#include "os/scratch_dir.h"

namespace {

using namespace mvos;

std::string RealPath(const char* path) {
    char buf[PATH_MAX];
    return ::realpath(path, buf) != nullptr ? buf : "";
}

TEST(Process, IdentityOfTheProcess) {
    EXPECT_EQ(static_cast<uint32_t>(getpid()), ProcessId());
    char exe[PATH_MAX];
    size_t n = ExecutablePath(exe, sizeof exe);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(exe));
    EXPECT_NE(nullptr, std::strstr(exe, "test_os"));
    // A buffer too small: cut, terminated, the size returned, the last error set.
    char small[5];
    EXPECT_EQ(sizeof small, ExecutablePath(small, sizeof small));
    EXPECT_EQ(4u, std::strlen(small));
    EXPECT_EQ(0, std::strncmp(exe, small, 4));
    EXPECT_EQ(static_cast<uint32_t>(kInsufficientBuffer), LastError());
    // Linked into this program, the library's own module is the program.
    char own[PATH_MAX];
    ASSERT_GT(OwnModuleFileName(own, sizeof own), 0u);
    EXPECT_STREQ(exe, own);
    EXPECT_NE(nullptr, OwnModule());
    EXPECT_TRUE(IsNtFamily());
    EXPECT_STREQ(".so", ModuleSuffix());
    EXPECT_EQ('/', PathSeparator());
}

TEST(Process, ComputerNameWithItsSizeRules) {
    char expected[256] = {};
    ASSERT_EQ(0, gethostname(expected, sizeof expected - 1));
    uint32_t len = static_cast<uint32_t>(std::strlen(expected));
    char name[256];
    uint32_t size = sizeof name;
    ASSERT_TRUE(ComputerName(name, &size));
    EXPECT_EQ(len, size);
    EXPECT_STREQ(expected, name);
    char tiny[1] = {'#'};
    size = 1;
    EXPECT_FALSE(ComputerName(tiny, &size));
    EXPECT_EQ(len + 1, size);
    EXPECT_EQ('#', tiny[0]);
}

TEST(Modules, LoadLookUpNameAndUnloadTheRealLibrary) {
    ModuleHandle m = LoadModule(MVB_LIBRARY_PATH);
    ASSERT_NE(nullptr, m);
    EXPECT_NE(nullptr, ModuleSymbol(m, "mmResize"));
    EXPECT_EQ(nullptr, ModuleSymbol(m, "NoSuchSymbol"));
    EXPECT_EQ(static_cast<uint32_t>(kProcNotFound), LastError());
    char name[PATH_MAX];
    ASSERT_GT(ModuleFileName(m, name, sizeof name), 0u);
    EXPECT_EQ(RealPath(MVB_LIBRARY_PATH), name);
    EXPECT_TRUE(UnloadModule(m));
    EXPECT_FALSE(UnloadModule(nullptr));
    EXPECT_EQ(nullptr, ModuleSymbol(nullptr, "mmResize"));
}

TEST(Modules, FailedLoadsSayWhy) {
    mvtest::ScratchDir dir;
    EXPECT_EQ(nullptr, LoadModule(dir.File("missing.so").c_str()));
    EXPECT_EQ(static_cast<uint32_t>(kModNotFound), LastError());
    char text[512];
    ASSERT_GT(ErrorText(LastError(), text, sizeof text), 0u);
    EXPECT_NE(nullptr, std::strstr(text, "missing.so")) << text;

    std::string junk = dir.File("junk.so");
    { std::ofstream(junk) << "not a shared object"; }
    EXPECT_EQ(nullptr, LoadModule(junk.c_str()));
    EXPECT_EQ(static_cast<uint32_t>(kBadExeFormat), LastError());
    EXPECT_EQ(nullptr, LoadModule("MVnosuchmodule100.so"));  // by the system's search
    EXPECT_EQ(static_cast<uint32_t>(kModNotFound), LastError());
    EXPECT_EQ(nullptr, LoadModule(""));
    EXPECT_EQ(static_cast<uint32_t>(kInvalidParameter), LastError());

    ScopedSyscall<void* (*)(const char*, int)> refuse(
        &SyscallTable::dlopen, [](const char*, int) -> void* { return nullptr; });
    EXPECT_EQ(nullptr, LoadModule(MVB_LIBRARY_PATH));
    EXPECT_EQ(static_cast<uint32_t>(kBadExeFormat), LastError());
}

TEST(Modules, ErrorTextsOfKnownAndUnknownNumbers) {
    char text[128];
    SetLastError(0);
    ErrorText(kFileNotFound, text, sizeof text);
    EXPECT_STREQ("The system cannot find the file specified.", text);
    ErrorText(123456, text, sizeof text);
    EXPECT_STREQ("System error 123456.", text);
    char tiny[4];
    EXPECT_EQ(3u, ErrorText(kAccessDenied, tiny, sizeof tiny));
    EXPECT_STREQ("Acc", tiny);
    EXPECT_EQ(0u, ErrorText(kAccessDenied, nullptr, 0));
}

TEST(Debugger, OutputGoesWhereTheVariableSaysOrNowhere) {
    mvtest::ScratchDir dir;
    std::string file = dir.File("debug.txt");
    ::unsetenv("MERIVANE_DEBUG_OUTPUT");
    DebugOutput("dropped");
    {
        mvtest::ScopedEnv env("MERIVANE_DEBUG_OUTPUT", file);
        DebugOutput("first");
        DebugOutput("second\n");
    }
    DebugOutput("dropped again");
    EXPECT_EQ("first\nsecond\n", mvtest::ReadFile(file));
    EXPECT_FALSE(DebuggerAttached());
    DebugBreak();  // no debugger, no guard: nothing happens
}

int g_boxCalls = 0;
std::string g_boxSeen;
int AnswerRetry(const char* title, uint32_t style, const char* text) {
    ++g_boxCalls;
    g_boxSeen = std::string(title) + "|" + std::to_string(style) + "|" + text;
    return kIdRetry;
}

TEST(MessageBoxes, DefaultAnswersOkAndAPresenterTakesOver) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kIdOk, MessageBox("line one\nline two", "Title", 0));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Title"));
    EXPECT_NE(std::string::npos, err.find("| line one\n| line two\n"));

    EXPECT_EQ(nullptr, SetBoxPresenter(AnswerRetry));
    EXPECT_EQ(kIdRetry, MessageBox("text", "T", 0x30));
    EXPECT_EQ(1, g_boxCalls);
    EXPECT_EQ("T|48|text", g_boxSeen);
    EXPECT_EQ(&AnswerRetry, SetBoxPresenter(nullptr));
}

class EventLog : public mvtest::IsolatedTest {};

int g_priority = -1;
std::string g_ident, g_message;
void CaptureSyslog(int priority, const char* ident, const char* message) {
    g_priority = priority;
    g_ident = ident;
    g_message = message;
}

TEST_F(EventLog, RendersTemplatesAndWritesSyslogAndTheEventFile) {
    ScopedSyscall<void (*)(int, const char*, const char*)> capture(&SyscallTable::syslog,
                                                                   CaptureSyslog);
    EventSourceHandle source = RegisterEventSource("Test \"Source\"");
    ASSERT_NE(nullptr, source);
    const char* strings[] = {"(V 1)", "text\twith tab", "42", "/bin/x"};
    ASSERT_TRUE(ReportEvent(source, EventType::kError, 0, 0xC0000004u, strings, 4,
                            "ERROR: %2 %1%n\r\nPID=%3%n\r\nEXE=%4"));
    EXPECT_EQ(LOG_ERR, g_priority);
    EXPECT_EQ("Test \"Source\"", g_ident);
    EXPECT_EQ("ERROR: text\twith tab (V 1)\nPID=42\nEXE=/bin/x", g_message);
    ASSERT_TRUE(ReportEvent(source, EventType::kWarning, 0, 0x80000003u, strings, 4, "%2"));
    EXPECT_EQ(LOG_WARNING, g_priority);
    ASSERT_TRUE(ReportEvent(source, EventType::kSuccess, 0, 1, strings, 4, nullptr));
    EXPECT_EQ(LOG_INFO, g_priority);
    EXPECT_EQ("(V 1) text\twith tab 42 /bin/x", g_message);
    ASSERT_TRUE(ReportEvent(source, EventType::kInformation, 0, 0x4000000Cu, strings, 2, "%3|%2"));
    EXPECT_EQ(LOG_INFO, g_priority);
    EXPECT_EQ("|text\twith tab", g_message);  // a missing insertion string is empty
    DeregisterEventSource(source);

    auto lines = EventLines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"source\":\"Test \\\"Source\\\"\""));
    EXPECT_NE(std::string::npos, lines[0].find("\"type\":\"error\",\"id\":3221225476,\"kind\":4"));
    EXPECT_NE(std::string::npos,
              lines[0].find("\"message\":\"ERROR: text\\twith tab (V 1)\\nPID=42\\nEXE=/bin/x\""));
    EXPECT_NE(std::string::npos,
              lines[0].find("\"strings\":[\"(V 1)\",\"text\\twith tab\",\"42\",\"/bin/x\"]"));
    EXPECT_EQ(0u, lines[0].find("{\"time\":\"20"));
    EXPECT_NE(std::string::npos, lines[3].find("\"type\":\"information\""));
    EXPECT_NE(std::string::npos, lines[3].find("\"kind\":12"));
    EXPECT_FALSE(ReportEvent(nullptr, EventType::kError, 0, 4, strings, 4, "%1"));
    EXPECT_EQ(nullptr, RegisterEventSource(""));
}

TEST(EventMessages, TemplateEscapesAndBounds) {
    const char* s[] = {"a", "b"};
    char out[64];
    RenderEventMessage("%%1=%1 %n %x 100%", s, 2, out, sizeof out);
    EXPECT_STREQ("%1=a \n %x 100%", out);
    EXPECT_EQ(3u, RenderEventMessage("%2%2%2%2", s, 2, out, 4));
    EXPECT_STREQ("bbb", out);
}

}  // namespace
