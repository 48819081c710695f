#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mvbasics.h"
#include "os/os.h"
#include "support/map_config.h"
#include "support/scratch_dir.h"
#include "support/alloc_failure.h"

namespace fs = std::filesystem;

namespace {

// A path in one spelling (separators, drive letter), to compare the library's with ours.
std::string Canon(const fs::path& path) {
    std::error_code error;
    fs::path canonical = fs::canonical(path, error);
    return error ? path.string() : canonical.string();
}

struct RecordingConsole : smp_io {
    int write(const char* text, size_t length) override {
        return lines.emplace_back(text, length), 0;
    }
    std::vector<std::string> lines;
};

std::vector<std::string> g_boxes;
int CountBox(const char*, uint32_t, const char* text) {
    return g_boxes.emplace_back(text), mvos::kIdOk;
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* d : {"path", "config", "cwd"}) fs::create_directories(m_work / d);
        m_own = fs::path(mvtest::platform::OwnProgram()).parent_path();
        fs::remove(m_own / Module("mvtorder"));  // left behind by an interrupted run
        m_savedCwd = fs::current_path();
        Console(&m_console);
        TnSetMessageBoxPresenter(CountBox);
        m_savedSwitch = TnMessage()->Enable(1);
        g_boxes.clear();
    }
    void TearDown() override {
        TnMessage()->Enable(m_savedSwitch);
        TnSetMessageBoxPresenter(nullptr);
        fs::current_path(m_savedCwd);
        fs::remove(m_own / Module("mvtorder"));
    }
    // A module's file name on this platform.
    static std::string Module(const char* name) { return name + std::string(mvos::ModuleSuffix()); }
    // Places a copy of a test module under another base name.
    fs::path Place(const char* module, const fs::path& dir, const char* name) {
        fs::path target = dir / Module(name);
        fs::copy_file(fs::path(MVB_TEST_MODULE_DIR) / Module(module), target,
                      fs::copy_options::overwrite_existing);
        return target;
    }
    // Loads a module and tells where it came from ("" when it failed).
    static std::string LoadedFrom(const std::string& name) { return LoadedFrom(name.c_str()); }
    static std::string LoadedFrom(const char* name) {
        TnModuleHandle* handle = reinterpret_cast<TnModuleHandle*>(1);
        if (TnDynamicLoader::LoadModule(name, 0, handle) != 0) {
            EXPECT_EQ(nullptr, handle);
            return "";
        }
        std::string where = Canon(TnDynamicLoader::GetPhysicalModuleName(handle));
        EXPECT_EQ(0, TnDynamicLoader::UnloadModule(handle));
        return where;
    }

    mvtest::ScratchDir m_dir;
    fs::path m_work = m_dir.Path(), m_own, m_savedCwd;
    mvtest::ScopedEnv m_path{"PATH", m_dir.File("path")};
    mvtest::MapConfig m_config;  // debug/loadModule, defaultModulePath
    RecordingConsole m_console;
    int m_savedSwitch = 0;
};

TEST_F(Loader, SearchOrder) {
    fs::path onPath = Place("mvtplain", m_work / "path", "mvtorder");
    EXPECT_EQ(Canon(onPath), LoadedFrom("mvtorder"));  // PATH only
    EXPECT_EQ("", LoadedFrom(Module("mvtorder")));     // callers pass base names
    fs::path inCwd = Place("mvtplain", m_work / "cwd", "mvtorder");
    fs::current_path(m_work / "cwd");
    EXPECT_EQ(Canon(inCwd), LoadedFrom("mvtorder"));  // the current directory first
    fs::path beside = Place("mvtdescribe", m_own, "mvtorder");
    EXPECT_EQ(Canon(beside), LoadedFrom("mvtorder"));               // beside the library wins
    EXPECT_EQ(Canon(beside), LoadedFrom("some/dir/mvtorder.ext"));  // its file-name part
    fs::path configured = Place("mvtplain", m_work / "config", "mvtorder");
    m_config.values["defaultModulePath"] = (m_work / "config").string();
    EXPECT_EQ(Canon(configured), LoadedFrom("mvtorder"));  // the configured directory first
    m_config.values["defaultModulePath"] = (m_work / "empty").string();  // without the module
    EXPECT_EQ(Canon(beside), LoadedFrom("mvtorder"));
}

TEST_F(Loader, OverlongPathsFailCleanly) {
    fs::path placed = Place("mvtplain", m_work / "path", "mvtlong");
    std::string longName(2000, 'n');
    EXPECT_EQ("", LoadedFrom(longName.c_str()));
    EXPECT_EQ("", LoadedFrom(("dir/" + longName).c_str()));  // its file-name part is too long
    // Directory and name beyond the path buffer: a failure, not an overflow or a search on.
    m_config.values["defaultModulePath"] = std::string(1020, 'd');
    EXPECT_EQ("", LoadedFrom("mvtlong"));
    m_config.values["defaultModulePath"] = std::string(3000, 'd');
    EXPECT_EQ("", LoadedFrom("mvtlong"));
    m_config.values.erase("defaultModulePath");
    EXPECT_EQ(Canon(placed), LoadedFrom("mvtlong"));
    EXPECT_EQ("", LoadedFrom(nullptr));
}

TEST_F(Loader, EntryPointsAndUnload) {
    Place("mvtplain", m_work / "path", "mvtentry");
    TnModuleHandle* handle = nullptr;
    ASSERT_EQ(0, TnDynamicLoader::LoadModule("mvtentry", 99, handle));
    void* entry = nullptr;
    ASSERT_EQ(0, TnDynamicLoader::GetEntryPoint("TestModuleTag", handle, entry));
    EXPECT_EQ(2, reinterpret_cast<int (*)()>(entry)());
    EXPECT_EQ(-5003, TnDynamicLoader::GetEntryPoint("TnDescribeDll", handle, entry));
    EXPECT_EQ(nullptr, entry);
    entry = &entry;
    EXPECT_EQ(-5001, TnDynamicLoader::GetEntryPoint("TestModuleTag", nullptr, entry));
    EXPECT_EQ(nullptr, entry);
    EXPECT_EQ(0, TnDynamicLoader::UnloadModule(handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(-5001, TnDynamicLoader::UnloadModule(handle));
    EXPECT_STREQ("<unknown>", TnDynamicLoader::GetPhysicalModuleName(nullptr));
}

TEST_F(Loader, ReportsOnlyWithTheFlag) {
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(m_console.lines.empty());
    EXPECT_STRNE("", TnDynamicLoader::GetErrText());

    m_config.values["debug/loadModule"] = "1";
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    ASSERT_EQ(1u, g_boxes.size());
    ASSERT_EQ((std::vector<std::string>{g_boxes[0]}), m_console.lines);
    const std::string& text = g_boxes[0];
    EXPECT_EQ(0u, text.find("Loading of module 'mvtnothere' failed.\nError code : 126\n"));
    std::string tail = "\nPath : '" + m_dir.File("path") + "'\n";
    EXPECT_EQ(text.size() - tail.size(), text.rfind(tail));

    // A successful load is reported too: one message, the name in three writes.
    m_console.lines.clear();
    g_boxes.clear();
    fs::path placed = Place("mvtplain", m_work / "path", "mvtreport");
    EXPECT_EQ(Canon(placed), LoadedFrom("mvtreport"));
    ASSERT_EQ(1u, g_boxes.size());
    const std::string used = g_boxes[0].substr(std::strlen("Using module: "));
    EXPECT_EQ("Using module: " + used, g_boxes[0]);
    EXPECT_EQ(Canon(placed), Canon(used));
    EXPECT_EQ((std::vector<std::string>{"Using module: ", used, "\n"}), m_console.lines);

    m_console.lines.clear();
    mvtest::platform::SetEnv("PATH", std::string(3000, 'p').c_str());
    EXPECT_EQ("", LoadedFrom("mvtnothere"));
    ASSERT_EQ(1u, m_console.lines.size());
    EXPECT_EQ(1023u, m_console.lines[0].size());  // the 1024-byte buffer, terminated
}

TEST_F(Loader, HandleAllocationFailure) {
    Place("mvtplain", m_work / "path", "mvtalloc");
    mvtest::OutOfMemory oom;
    TnModuleHandle* handle = reinterpret_cast<TnModuleHandle*>(1);
    EXPECT_EQ(-5002, TnDynamicLoader::LoadModule("mvtalloc", 0, handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(sizeof(TnModuleHandle), oom.Calls().back());
}

// TnGetDescription's outputs as one text: "rc|file|versions|number|texts one to six".
std::string Describe(const char* name, bool buffers = true) {
    char file[1024] = "-", t[6][64] = {"-", "-", "-", "-", "-", "-"};
    unsigned v[5] = {};
    int number = 0;
    auto b = [&](char* out) { return buffers ? out : nullptr; };
    int rc = TnGetDescription(name, b(file), v[0], v[1], v[2], v[3], v[4], b(t[0]), b(t[1]),
                              b(t[2]), b(t[3]), b(t[4]), b(t[5]), number);
    std::string out = std::to_string(rc) + "|" + (file[0] == '-' ? "-" : Canon(file)) + "|";
    for (unsigned x : v) out += std::to_string(x) + ".";
    out += "|" + std::to_string(number);
    for (auto& text : t) out += std::string("|") + text;
    return out;
}

TEST_F(Loader, DescriptionOfTestModules) {
    std::string describing = Canon(Place("mvtdescribe", m_work / "path", "mvtdesc"));
    std::string plain = Canon(Place("mvtplain", m_work / "path", "mvtnodesc"));
    EXPECT_EQ("0|" + describing +
                  "|7.1.2.3.4.|1234|Test Describe Module|MVtestdescribe|Dec 05 2026 12:00:00|"
                  "fourth|test compiler|-",  // the module gave no extra text
              Describe("mvtdesc"));
    EXPECT_EQ("0|-|7.1.2.3.4.|1234|-|-|-|-|-|-", Describe("mvtdesc", false));  // null buffers
    EXPECT_EQ("-5003|" + plain + "|0.0.0.0.0.|0|-|-|-|-|-|-", Describe("mvtnodesc"));
    EXPECT_EQ("-5002|-|0.0.0.0.0.|0|-|-|-|-|-|-", Describe("mvtnothere"));
}

TEST_F(Loader, DescriptionOfThisLibrary) {
    fs::path lib = fs::canonical(MVB_LIBRARY_PATH);
    mvtest::platform::SetEnv("PATH", lib.parent_path().string().c_str());
    std::string text = Describe("MV120Mbs100");
    EXPECT_EQ(0u, text.find("0|"));
    EXPECT_NE(std::string::npos,
              text.find("|12.0.2.155.0.|1600|Merivane Basic Algorithms|MV120Mbs100|"));
    std::string file = text.substr(2, text.find('|', 2) - 2);
    EXPECT_EQ(lib.string(), fs::canonical(file).string());
}

}  // namespace
