// Process, module loading, debugger output, message boxes and event messages.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"

namespace {

using namespace mvos;

TEST(Process, IdentityAndTheSizeRulesOfNames) {
    EXPECT_EQ(static_cast<uint32_t>(getpid()), ProcessId());
    char exe[PATH_MAX], own[PATH_MAX], small[5];
    size_t n = ExecutablePath(exe, sizeof exe);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(exe));
    EXPECT_NE(nullptr, std::strstr(exe, "test_os"));
    // A buffer too small: cut, terminated, the size returned, the last error set.
    EXPECT_EQ(sizeof small, ExecutablePath(small, sizeof small));
    EXPECT_EQ(std::string(exe, 4), small);
    EXPECT_EQ(static_cast<uint32_t>(kInsufficientBuffer), LastError());
    // Linked into this program, the library's own module is the program.
    ASSERT_GT(OwnModuleFileName(own, sizeof own), 0u);
    EXPECT_STREQ(exe, own);

    // The computer name: its length on success; the size needed, and nothing written,
    // when the buffer is too small.
    char expected[256] = {}, name[256], tiny[1] = {'#'};
    ASSERT_EQ(0, gethostname(expected, sizeof expected - 1));
    uint32_t len = static_cast<uint32_t>(std::strlen(expected)), size = sizeof name;
    ASSERT_TRUE(ComputerName(name, &size));
    EXPECT_EQ(len, size);
    EXPECT_STREQ(expected, name);
    size = 1;
    EXPECT_FALSE(ComputerName(tiny, &size));
    EXPECT_EQ(len + 1, size);
    EXPECT_EQ('#', tiny[0]);
}

TEST(Modules, LoadLookUpUnloadAndFailuresThatSayWhy) {
    ModuleHandle m = LoadModule(MVB_LIBRARY_PATH);
    ASSERT_NE(nullptr, m);
    EXPECT_NE(nullptr, ModuleSymbol(m, "mmResize"));
    EXPECT_EQ(nullptr, ModuleSymbol(m, "NoSuchSymbol"));
    EXPECT_EQ(static_cast<uint32_t>(kProcNotFound), LastError());
    char name[PATH_MAX], real[PATH_MAX];
    ASSERT_GT(ModuleFileName(m, name, sizeof name), 0u);
    EXPECT_STREQ(::realpath(MVB_LIBRARY_PATH, real), name);
    EXPECT_TRUE(UnloadModule(m));
    EXPECT_FALSE(UnloadModule(nullptr));
    EXPECT_EQ(nullptr, ModuleSymbol(nullptr, "mmResize"));

    mvtest::ScratchDir dir;
    EXPECT_EQ(nullptr, LoadModule(dir.File("missing.so").c_str()));
    EXPECT_EQ(static_cast<uint32_t>(kModNotFound), LastError());
    char text[512];
    ASSERT_GT(ErrorText(LastError(), text, sizeof text), 0u);
    EXPECT_NE(nullptr, std::strstr(text, "missing.so")) << text;  // the loader's own words
    std::string junk = dir.File("junk.so");
    { std::ofstream(junk) << "not a shared object"; }
    EXPECT_EQ(nullptr, LoadModule(junk.c_str()));
    EXPECT_EQ(static_cast<uint32_t>(kBadExeFormat), LastError());
    EXPECT_EQ(nullptr, LoadModule("MVnosuchmodule100.so"));  // by the system's search
    EXPECT_EQ(static_cast<uint32_t>(kModNotFound), LastError());
    EXPECT_EQ(nullptr, LoadModule(""));
    EXPECT_EQ(static_cast<uint32_t>(kInvalidParameter), LastError());
}

// Debugger output goes to the file the variable names (tested with the memory-check
// hook), to standard error with a prefix, or nowhere.
TEST(Debugger, OutputGoesWhereTheVariableSaysOrNowhere) {
    ::testing::internal::CaptureStderr();
    ::unsetenv("MERIVANE_DEBUG_OUTPUT");
    DebugOutput("dropped");
    {
        mvtest::ScopedEnv env("MERIVANE_DEBUG_OUTPUT", "stderr");
        DebugOutput("kept\n");
    }
    EXPECT_EQ("[debug] kept\n", ::testing::internal::GetCapturedStderr());
    EXPECT_FALSE(DebuggerAttached());
}

int AnswerRetry(const char* title, uint32_t style, const char* text) {
    return std::string(title) + "|" + std::to_string(style) + "|" + text == "T|48|text" ? kIdRetry
                                                                                        : -1;
}

TEST(MessageBoxes, DefaultAnswersOkAndAPresenterTakesOver) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kIdOk, MessageBox("line one\nline two", "Title", 0));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("Title"));
    EXPECT_NE(std::string::npos, err.find("| line one\n| line two\n"));
    EXPECT_EQ(nullptr, SetBoxPresenter(AnswerRetry));
    EXPECT_EQ(kIdRetry, MessageBox("text", "T", 0x30));
    EXPECT_EQ(&AnswerRetry, SetBoxPresenter(nullptr));
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
