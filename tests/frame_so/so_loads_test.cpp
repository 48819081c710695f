// Runs against the real shared object, as another module of the runtime would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

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
    template <typename F>
    F Entry(const char* name) {
        return reinterpret_cast<F>(dlsym(m_handle, name));
    }
    void* m_handle = nullptr;
};

TEST_F(SharedObject, DescribesItselfThroughItsUndecoratedEntryPoints) {
    auto describe = Entry<decltype(&TnDescribeDll)>("TnDescribeDll");
    auto info = Entry<decltype(&GETTNBASICSINFO)>("GETTNBASICSINFO");
    auto check = Entry<decltype(&TnCheckDll)>("TnCheckDll");
    ASSERT_NE(nullptr, describe);
    ASSERT_NE(nullptr, info);
    ASSERT_NE(nullptr, check);
    EXPECT_NE(nullptr, dlsym(m_handle, "mmResize"));
    EXPECT_NE(nullptr, dlsym(m_handle, "mmFarResize"));
    EXPECT_NE(nullptr, dlsym(m_handle, "TarnCheckMemory"));

    unsigned v[5] = {};
    const char *name, *date, *fourth, *compiler, *extra;
    int compilerVersion = 0;
    EXPECT_STREQ("Merivane Basic Algorithms",
                 describe(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &date, &fourth,
                          &compilerVersion, &compiler, &extra));
    EXPECT_EQ(12u, v[0]);
    EXPECT_EQ(155u, v[3]);
    EXPECT_STREQ("MV120Mbs100", name);
    const char* text = nullptr;
    info(nullptr, nullptr, &text, nullptr, nullptr);
    EXPECT_STREQ("Merivane Basic Algorithms 12.0.2.155.0 ", text);
    EXPECT_EQ(0, check(8));
}

// The library's own module is the shared object, found through its own address.
TEST_F(SharedObject, RegistersItsEventSourceWithItsOwnPath) {
    char dir[] = "/tmp/mvso-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string db = std::string(dir) + "/registry.db";
    setenv("MERIVANE_REGISTRY", db.c_str(), 1);
    EXPECT_EQ(0, TnSystemLog()->InstallSource("Shared Object Test"));
    unsetenv("MERIVANE_REGISTRY");
    // Read the value back with the database's own tool-free reader: the file holds the
    // shared object's full path as text.
    FILE* f = std::fopen(db.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::string bytes;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
    std::string wal = db + "-wal";
    if (FILE* w = std::fopen(wal.c_str(), "rb")) {
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, w)) > 0;) bytes.append(buf, n);
        std::fclose(w);
    }
    char real[PATH_MAX];
    ASSERT_NE(nullptr, realpath(MVB_LIBRARY_PATH, real));
    EXPECT_NE(std::string::npos, bytes.find(real)) << real;
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
    char line[4096];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        char address[64], kind[8], name[4000];
        if (std::sscanf(line, "%63s %7s %3999s", address, kind, name) == 3) names.insert(name);
    }
    int status = pclose(p);
    if (names.empty()) GTEST_SKIP() << "nm is not available (status " << status << ")";
    for (const char* wanted : {"mmResize", "mmFarResize", "TarnCheckMemory", "TnCheckDll",
                               "TnDescribeDll", "GETTNBASICSINFO"}) {
        EXPECT_EQ(1u, names.count(wanted)) << wanted;
    }
    for (const std::string& n : names) {
        // Itanium-mangled internals would carry these namespace parts.
        EXPECT_EQ(std::string::npos, n.find("4mvos")) << n;
        EXPECT_EQ(std::string::npos, n.find("3mvb")) << n;
        EXPECT_EQ(std::string::npos, n.find("_GLOBAL__N")) << n;
        EXPECT_NE(0u, n.find("sqlite3")) << n;
    }
}

}  // namespace
