#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mvbasics.h"
#include "os/os.h"
#include "platform/out_of_memory.h"

namespace fs = std::filesystem;

namespace {

// The host's configuration: "loadModule" and "defaultModulePath".
class LoaderConfig : public TnConfig {
  public:
    int LookupInteger(const char*, int32_t*, const char* const*) override { return 1; }
    int LookupFlag(const char* key, int16_t* value, const char* const* sections) override {
        if (std::strcmp(key, "loadModule") != 0 || std::strcmp(sections[0], "debug") != 0 ||
            sections[1] != nullptr || !report)
            return 1;
        *value = 1;
        return 0;
    }
    int LookupString(const char* key, char** value, const char* const* sections) override {
        if (std::strcmp(key, "defaultModulePath") != 0 || sections[0] != nullptr ||
            directory.empty())
            return 1;
        std::strcpy(*value, directory.c_str());
        return 0;
    }
    bool report = false;
    std::string directory;
};

class RecordingConsole : public smp_io {
  public:
    int write(const char* text, size_t length) override {
        lines.emplace_back(text, length);
        return 0;
    }
    std::vector<std::string> lines;
};

std::vector<std::string> g_boxes;
int CountBox(const char*, uint32_t, const char* text) {
    g_boxes.emplace_back(text);
    return mvos::kIdOk;
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* work = std::getenv("MERIVANE_TEST_BINARY_DIR");
        m_work = fs::path(work != nullptr ? work : "/tmp/loader_work") / "dirs";
        fs::remove_all(m_work);
        for (const char* d : {"path", "config", "cwd"}) fs::create_directories(m_work / d);
        m_own = fs::canonical("/proc/self/exe").parent_path();
        fs::remove(m_own / "mvtorder.so");  // left behind by an interrupted run
        m_savedPath = std::getenv("PATH");
        m_savedCwd = fs::current_path();
        setenv("PATH", (m_work / "path").c_str(), 1);
        DefaultConfig(&m_config);
        Console(&m_console);
        TnSetMessageBoxPresenter(CountBox);
        m_savedSwitch = TnMessage()->Enable(1);
        g_boxes.clear();
    }
    void TearDown() override {
        TnMessage()->Enable(m_savedSwitch);
        TnSetMessageBoxPresenter(nullptr);
        DefaultConfig(nullptr);
        fs::current_path(m_savedCwd);
        setenv("PATH", m_savedPath.c_str(), 1);
        for (const fs::path& p : m_placed) fs::remove(p);
        fs::remove_all(m_work);
    }
    // Places a copy of a test module under another base name.
    fs::path Place(const char* module, const fs::path& dir, const char* name) {
        fs::path target = dir / (std::string(name) + ".so");
        fs::copy_file(fs::path(MVB_TEST_MODULE_DIR) / (std::string(module) + ".so"), target,
                      fs::copy_options::overwrite_existing);
        m_placed.push_back(target);
        return target;
    }
    // Loads a module and tells where it came from ("" when it failed).
    static std::string LoadedFrom(const char* name) {
        TnModuleHandle* handle = reinterpret_cast<TnModuleHandle*>(1);
        if (TnDynamicLoader::LoadModule(name, 0, handle) != 0) {
            EXPECT_EQ(nullptr, handle);
            return "";
        }
        std::string where = TnDynamicLoader::GetPhysicalModuleName(handle);
        EXPECT_EQ(0, TnDynamicLoader::UnloadModule(handle));
        return where;
    }

    fs::path m_work, m_own, m_savedCwd;
    std::string m_savedPath;
    std::vector<fs::path> m_placed;
    LoaderConfig m_config;
    RecordingConsole m_console;
    int m_savedSwitch = 0;
};

TEST_F(Loader, SearchOrder) {
    fs::path onPath = Place("mvtplain", m_work / "path", "mvtorder");
    EXPECT_EQ(onPath.string(), LoadedFrom("mvtorder"));  // PATH only
    EXPECT_EQ("", LoadedFrom("mvtorder.so"));            // callers pass base names
    fs::path inCwd = Place("mvtplain", m_work / "cwd", "mvtorder");
    fs::current_path(m_work / "cwd");
    EXPECT_EQ(inCwd.string(), LoadedFrom("mvtorder"));  // the current directory first
    fs::path beside = Place("mvtdescribe", m_own, "mvtorder");
    EXPECT_EQ(beside.string(), LoadedFrom("mvtorder"));               // beside the library wins
    EXPECT_EQ(beside.string(), LoadedFrom("some/dir/mvtorder.ext"));  // its file-name part
    fs::path configured = Place("mvtplain", m_work / "config", "mvtorder");
    m_config.directory = (m_work / "config").string();
    EXPECT_EQ(configured.string(), LoadedFrom("mvtorder"));  // the configured directory first
    m_config.directory = (m_work / "empty").string();        // configured but without the module
    EXPECT_EQ(beside.string(), LoadedFrom("mvtorder"));
}

TEST_F(Loader, OverlongPathsFailCleanly) {
    fs::path placed = Place("mvtplain", m_work / "path", "mvtlong");
    std::string longName(2000, 'n');
    EXPECT_EQ("", LoadedFrom(longName.c_str()));
    EXPECT_EQ("", LoadedFrom(("dir/" + longName).c_str()));  // its file-name part is too long
    m_config.directory = std::string(1020, 'd');  // directory + name beyond the path buffer
    EXPECT_EQ("", LoadedFrom("mvtlong"));         // fails rather than overflows or searches on
    m_config.directory = std::string(3000, 'd');
    EXPECT_EQ("", LoadedFrom("mvtlong"));
    m_config.directory.clear();
    EXPECT_EQ(placed.string(), LoadedFrom("mvtlong"));
    EXPECT_EQ("", LoadedFrom(nullptr));
}

TEST_F(Loader, EntryPointsAndUnload) {
    Place("mvtplain", m_work / "path", "mvtentry");
    TnModuleHandle* handle = nullptr;
    ASSERT_EQ(0, TnDynamicLoader::LoadModule("mvtentry", 99, handle));
    void* entry = reinterpret_cast<void*>(1);
    ASSERT_EQ(0, TnDynamicLoader::GetEntryPoint("TestModuleTag", handle, entry));
    EXPECT_EQ(2, reinterpret_cast<int (*)()>(entry)());
    entry = reinterpret_cast<void*>(1);
    EXPECT_EQ(-5003, TnDynamicLoader::GetEntryPoint("TnDescribeDll", handle, entry));
    EXPECT_EQ(nullptr, entry);
    entry = reinterpret_cast<void*>(1);
    EXPECT_EQ(-5001, TnDynamicLoader::GetEntryPoint("TestModuleTag", nullptr, entry));
    EXPECT_EQ(nullptr, entry);
    EXPECT_EQ(0, TnDynamicLoader::UnloadModule(handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(-5001, TnDynamicLoader::UnloadModule(handle));
    EXPECT_STREQ("<unknown>", TnDynamicLoader::GetPhysicalModuleName(nullptr));
}

TEST_F(Loader, FailureReportOnlyWithTheFlag) {
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(m_console.lines.empty());
    EXPECT_STRNE("", TnDynamicLoader::GetErrText());

    m_config.report = true;
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    ASSERT_EQ(1u, g_boxes.size());
    ASSERT_EQ(1u, m_console.lines.size());
    EXPECT_EQ(g_boxes[0], m_console.lines[0]);
    const std::string& text = m_console.lines[0];
    EXPECT_EQ(0u, text.find("Loading of module 'mvtnothere' failed.\nError code : "));
    std::string tail = "\nPath : '" + (m_work / "path").string() + "'\n";
    EXPECT_EQ(text.size() - tail.size(), text.rfind(tail));

    // A successful load is reported too: one message, the name in three writes.
    m_console.lines.clear();
    g_boxes.clear();
    fs::path placed = Place("mvtplain", m_work / "path", "mvtreport");
    EXPECT_EQ(placed.string(), LoadedFrom("mvtreport"));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("Using module: " + placed.string(), g_boxes[0]);
    EXPECT_EQ((std::vector<std::string>{"Using module: ", placed.string(), "\n"}), m_console.lines);
}

TEST_F(Loader, LongPathValueIsCutInTheReport) {
    m_config.report = true;
    setenv("PATH", std::string(3000, 'p').c_str(), 1);
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    ASSERT_EQ(1u, m_console.lines.size());
    EXPECT_EQ(1023u, m_console.lines[0].size());  // the 1024-byte buffer, terminated
}

TEST_F(Loader, HandleAllocationFailure) {
    Place("mvtplain", m_work / "path", "mvtalloc");
    OutOfMemory oom;
    TnModuleHandle* handle = reinterpret_cast<TnModuleHandle*>(1);
    EXPECT_EQ(-5002, TnDynamicLoader::LoadModule("mvtalloc", 0, handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(sizeof(TnModuleHandle), OutOfMemory::Asked());
}

TEST_F(Loader, DescriptionOfTestModules) {
    fs::path describing = Place("mvtdescribe", m_work / "path", "mvtdesc");
    Place("mvtplain", m_work / "path", "mvtnodesc");
    char file[1024] = "", t1[64] = "", t2[64] = "", t3[64] = "", t4[64] = "", t5[64] = "",
         t6[64] = "untouched";
    unsigned v[5] = {};
    int number = 0;
    ASSERT_EQ(0, TnGetDescription("mvtdesc", file, v[0], v[1], v[2], v[3], v[4], t1, t2, t3, t4, t5,
                                  t6, number));
    EXPECT_EQ(describing.string(), file);
    EXPECT_EQ((std::vector<unsigned>{7, 1, 2, 3, 4}), std::vector<unsigned>(v, v + 5));
    EXPECT_STREQ("Test Describe Module", t1);
    EXPECT_STREQ("MVtestdescribe", t2);
    EXPECT_STREQ("Dec 05 2026 12:00:00", t3);
    EXPECT_STREQ("fourth", t4);
    EXPECT_STREQ("test compiler", t5);
    EXPECT_STREQ("untouched", t6);  // the module gave no extra text
    EXPECT_EQ(1234, number);
    // Null buffers are skipped.
    EXPECT_EQ(0, TnGetDescription("mvtdesc", nullptr, v[0], v[1], v[2], v[3], v[4], nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, number));

    file[0] = '\0';
    EXPECT_EQ(-5003, TnGetDescription("mvtnodesc", file, v[0], v[1], v[2], v[3], v[4], t1, t2, t3,
                                      t4, t5, t6, number));
    EXPECT_EQ((m_work / "path" / "mvtnodesc.so").string(), file);
    EXPECT_EQ(-5002, TnGetDescription("mvtnothere", file, v[0], v[1], v[2], v[3], v[4], t1, t2, t3,
                                      t4, t5, t6, number));
}

TEST_F(Loader, DescriptionOfThisLibrary) {
    fs::path lib = fs::path(MVB_LIBRARY_PATH);
    setenv("PATH", lib.parent_path().c_str(), 1);
    char file[1024] = "", t1[64] = "", t2[64] = "";
    unsigned v[5] = {};
    int number = 0;
    ASSERT_EQ(0, TnGetDescription("MV120Mbs100", file, v[0], v[1], v[2], v[3], v[4], t1, t2,
                                  nullptr, nullptr, nullptr, nullptr, number));
    EXPECT_EQ((std::vector<unsigned>{12, 0, 2, 155, 0}), std::vector<unsigned>(v, v + 5));
    EXPECT_STREQ("MV120Mbs100", t2);
    EXPECT_STREQ("Merivane Basic Algorithms", t1);
    EXPECT_EQ(1600, number);
    EXPECT_EQ(fs::canonical(lib).string(), fs::canonical(file).string());
}

}  // namespace
