// Runs against the real shared object, as another module of the runtime would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

class SharedObject : public ::testing::Test {
  protected:
    void SetUp() override {
        m_handle = dlopen(MVB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, m_handle) << dlerror();
    }
    void TearDown() override {
        if (m_handle != nullptr) dlclose(m_handle);
    }
    void* m_handle = nullptr;
};

TEST_F(SharedObject, DescribesItselfThroughItsUndecoratedEntryPoints) {
    auto describe = reinterpret_cast<decltype(&TnDescribeDll)>(dlsym(m_handle, "TnDescribeDll"));
    auto info = reinterpret_cast<decltype(&GETTNBASICSINFO)>(dlsym(m_handle, "GETTNBASICSINFO"));
    auto check = reinterpret_cast<decltype(&TnCheckDll)>(dlsym(m_handle, "TnCheckDll"));
    ASSERT_TRUE(describe != nullptr && info != nullptr && check != nullptr);

    unsigned v[5] = {9, 9, 9, 9, 9};
    const char *name, *date, *fourth, *compiler, *extra;
    int compilerVersion = 0;
    EXPECT_STREQ("Merivane Basic Algorithms",
                 describe(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &date, &fourth,
                          &compilerVersion, &compiler, &extra));
    EXPECT_EQ((std::vector<unsigned>{12, 0, 2, 155, 0}), std::vector<unsigned>(v, v + 5));
    EXPECT_STREQ("MV120Mbs100", name);
    EXPECT_STREQ("Feb 19 2016 01:46:47", date);
    EXPECT_STREQ("unknown", fourth);
    EXPECT_EQ(1600, compilerVersion);
    EXPECT_STRNE("", compiler);
    EXPECT_STREQ("", extra);

    info(nullptr, nullptr, nullptr, nullptr, nullptr);  // every pointer skipped
    const char *infoCompiler = nullptr, *text = nullptr, *day = nullptr, *module = nullptr;
    int infoVersion = 0;
    info(&infoCompiler, &infoVersion, &text, &day, &module);
    EXPECT_STREQ(compiler, infoCompiler);
    EXPECT_EQ(1600, infoVersion);
    EXPECT_STREQ("Merivane Basic Algorithms 12.0.2.155.0 ", text);
    EXPECT_STREQ("Feb 19 2016", day);
    EXPECT_STREQ("MV120Mbs100", module);
    EXPECT_EQ(0, check(8));
}

// The library's own module is the shared object, found through its own address: the
// registered message file is the shared object's full path.
TEST_F(SharedObject, RegistersItsEventSourceWithItsOwnPath) {
    char dir[] = "/tmp/mvso-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string db = std::string(dir) + "/registry.db";
    setenv("MERIVANE_REGISTRY", db.c_str(), 1);
    EXPECT_EQ(0, TnSystemLog()->InstallSource("Shared Object Test"));
    unsetenv("MERIVANE_REGISTRY");
    std::stringstream bytes;  // the text is in the database file or its write-ahead log
    bytes << std::ifstream(db, std::ios::binary).rdbuf() << std::ifstream(db + "-wal").rdbuf();
    char real[PATH_MAX];
    ASSERT_NE(nullptr, realpath(MVB_LIBRARY_PATH, real));
    EXPECT_NE(std::string::npos, bytes.str().find(real)) << real;
    std::system((std::string("rm -rf ") + dir).c_str());
}

// The dynamic symbol table: the undecorated entry points are there, and nothing of the
// library's internals (the OS layer, the start-up steps, helpers) is.
TEST(DynamicSymbols, UndecoratedEntriesAndNoInternals) {
    std::string command =
        std::string("nm -D --defined-only '") + MVB_LIBRARY_PATH + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::set<std::string> names;
    char line[4096], address[64], kind[8], name[4000];
    while (std::fgets(line, sizeof line, p) != nullptr)
        if (std::sscanf(line, "%63s %7s %3999s", address, kind, name) == 3) names.insert(name);
    int status = pclose(p);
    if (names.empty()) GTEST_SKIP() << "nm is not available (status " << status << ")";
    for (const char* wanted : {"mmResize", "mmFarResize", "TarnCheckMemory", "TnCheckDll",
                               "TnDescribeDll", "GETTNBASICSINFO"}) {
        EXPECT_EQ(1u, names.count(wanted)) << wanted;
    }
    for (const std::string& n : names) {
        // Itanium-mangled internals would carry these namespace parts.
        for (const char* internal : {"4mvos", "3mvb", "_GLOBAL__N"})
            EXPECT_EQ(std::string::npos, n.find(internal)) << n;
        EXPECT_NE(0u, n.find("sqlite3")) << n;
    }
}

}  // namespace
