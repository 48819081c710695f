// The registry's file: what a commit leaves in it, files that are broken, read-only,
// replaced or on a full disk, and the causes the registry reports.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "in_child.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "registry_db.h"
#include "support/scratch_dir.h"

namespace {

using namespace mvos;

std::string StoredValue(const std::string& file, const char* name) {
    return QueryDatabase(file, std::string("SELECT data FROM vals WHERE name = '") + name + "'");
}

// How many of the process's descriptors are open on file (or its side files).
int OpenDescriptorsOf(const std::string& file) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.compare(0, file.size(), file) == 0) ++count;
    }
    return count;
}

std::vector<std::string> g_reports;

class RegistryFile : public mvtest::IsolatedTest {
  protected:
    RegistryFile() : m_file(m_dir.File("registry.db")) {
        g_reports.clear();
        m_sink = SetRegistryFailureSink([](const char* text) { g_reports.push_back(text); });
    }
    ~RegistryFile() override {
        SetRegistryFailureSink(m_sink);
        ReleaseOnUnload();  // the next test starts without a connection
    }
    static int32_t Set(const char* name, const std::string& data) {
        return RegSetValue(kLocalMachine, name, kRegSz, data.data(),
                           static_cast<uint32_t>(data.size()));
    }
    static std::string Get(const char* name) {
        char data[64];
        uint32_t size = sizeof data;
        int32_t st = RegQueryValue(kLocalMachine, name, nullptr, data, &size);
        return st == kOk ? std::string(data, size) : "status " + std::to_string(st);
    }

    std::string m_file;
    RegistryFailureSink m_sink;
};

// After every committed write the database file alone holds it: a copy of that one
// file has every setting, with no side file needed.
TEST_F(RegistryFile, EveryCommitIsInTheDatabaseFileAlone) {
    for (int i = 0; i < 5; ++i) ASSERT_EQ(kOk, Set(("v" + std::to_string(i)).c_str(), "kept"));
    ASSERT_EQ(kOk, RegDeleteValue(kLocalMachine, "v4"));
    std::filesystem::copy_file(m_file, m_dir.File("copy.db"));
    EXPECT_EQ("kept", StoredValue(m_dir.File("copy.db"), "v3"));
    EXPECT_EQ("<none>", StoredValue(m_dir.File("copy.db"), "v4"));
    EXPECT_TRUE(std::filesystem::exists(m_file + "-journal"));  // kept, not deleted
    EXPECT_FALSE(std::filesystem::exists(m_file + "-wal"));
    // Released (as at unload): no descriptor of the file stays open; opened again on the
    // next call.
    EXPECT_GT(OpenDescriptorsOf(m_file), 0);
    ReleaseOnUnload();
    EXPECT_EQ(0, OpenDescriptorsOf(m_file));
    EXPECT_EQ("kept", Get("v0"));
    EXPECT_TRUE(g_reports.empty());
}

// Every operation on a broken file answers with its failure code, nothing crashes, and
// one report names the file and the cause.
TEST_F(RegistryFile, BrokenFilesAnswerWithTheirCodesAndAreReportedOnce) {
    // A registry of a few pages, truncated by 1000 bytes.
    {
        mvtest::ScopedEnv env("MERIVANE_REGISTRY", m_dir.File("truncated.db"));
        for (int i = 0; i < 40; ++i)
            ASSERT_EQ(kOk, Set(("t" + std::to_string(i)).c_str(), std::string(400, 't')));
        ReleaseOnUnload();
        std::filesystem::resize_file(m_dir.File("truncated.db"),
                                     std::filesystem::file_size(m_dir.File("truncated.db")) - 1000);
    }
    { std::ofstream(m_dir.File("junk.db")) << std::string(4096, 'x'); }
    ::mkdir(m_dir.File("folder.db").c_str(), 0755);
    { std::ofstream(m_dir.File("plain")) << "x"; }
    const bool devNullJournal = std::filesystem::exists("/dev/null-journal");
    const struct {
        std::string path;
        int32_t writeStatus;
        const char* cause;
    } cases[] = {
        {m_dir.File("junk.db"), kRegistryCorrupt, "file is not a database"},
        {m_dir.File("truncated.db"), kRegistryCorrupt, "damaged"},
        {m_dir.File("folder.db"), kAccessDenied, "not a regular file"},
        {m_dir.File("plain/sub/registry.db"), kAccessDenied, "Not a directory"},
        {"/dev/null", kAccessDenied, "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        g_reports.clear();
        mvtest::ScopedEnv env("MERIVANE_REGISTRY", c.path);
        RegKey key = nullptr;
        EXPECT_EQ(c.writeStatus, RegCreateKey(kLocalMachine, "K", kKeyAllAccess, &key, nullptr));
        EXPECT_EQ(c.writeStatus, Set("v", "x"));
        EXPECT_EQ(c.writeStatus, RegDeleteValue(kLocalMachine, "t1"));
        EXPECT_EQ(c.writeStatus, RegDeleteKey(kLocalMachine, "K"));
        // Reads go as far as the file allows; they never succeed on a non-database.
        char name[32];
        uint32_t size = sizeof name;
        int32_t read = RegEnumValue(kLocalMachine, 0, name, &size);
        if (c.writeStatus == kAccessDenied || c.cause[0] == 'f') {
            EXPECT_EQ(c.writeStatus, read);
            EXPECT_EQ(c.writeStatus, RegOpenKey(kLocalMachine, "K", kKeyRead, &key));
            EXPECT_NE("x", Get("v"));
        }
        ASSERT_EQ(1u, g_reports.size());
        EXPECT_EQ(0u, g_reports[0].find("registry " + c.path + ": ")) << g_reports[0];
        EXPECT_NE(std::string::npos, g_reports[0].find(c.cause)) << g_reports[0];
        char failure[512];
        ASSERT_GT(RegistryFailure(failure, sizeof failure), 0u);
        EXPECT_NE(std::string::npos, std::string(failure).find(c.path));
    }
    EXPECT_EQ(devNullJournal, std::filesystem::exists("/dev/null-journal"));
}

// A user who may only read the file reads it; writes are refused and leave no file.
TEST_F(RegistryFile, ReadAccessAloneIsEnoughToRead) {
    ASSERT_EQ(kOk, Set("v", "readable"));
    ReleaseOnUnload();
    ::chmod(m_dir.Path().c_str(), 0755);
    ::chmod(m_file.c_str(), 0644);
    EXPECT_EQ(0, InChild([&] {
                  // As root, become a user without write access; otherwise take write access away.
                  bool ready = ::geteuid() == 0 ? ::setgid(65534) == 0 && ::setuid(65534) == 0
                                                : ::chmod(m_file.c_str(), 0444) == 0;
                  bool ok = ready && Get("v") == "readable" && Get("w") == "status 2" &&
                            Set("v", "changed") == kAccessDenied && Get("v") == "readable";
                  return ok ? 0 : 1;
              }));
    EXPECT_EQ("readable", StoredValue(m_file, "v"));
}

// A file removed or replaced while the process runs: the next call uses the file the
// path names now.
TEST_F(RegistryFile, RemovedOrReplacedFileIsFollowed) {
    ASSERT_EQ(kOk, Set("v", "first"));
    ASSERT_EQ(0, ::rename(m_file.c_str(), m_dir.File("moved.db").c_str()));
    EXPECT_EQ("status 2", Get("v"));  // nothing at the path now
    ASSERT_EQ(kOk, Set("v", "second"));
    EXPECT_EQ("second", StoredValue(m_file, "v"));
    EXPECT_EQ("first", StoredValue(m_dir.File("moved.db"), "v"));
    // Replaced by another registry file.
    ASSERT_EQ(0, ::rename(m_dir.File("moved.db").c_str(), m_file.c_str()));
    EXPECT_EQ("first", Get("v"));
    ASSERT_EQ(0, ::unlink(m_file.c_str()));
    ASSERT_EQ(kOk, Set("v", "third"));
    EXPECT_EQ("third", StoredValue(m_file, "v"));
}

// A full disk: writes that would grow a file fail. A new value cannot be stored, but a
// delete still works, since the journal keeps its room between transactions (bounded).
int FailGrowingWrites(sqlite3_file* file, const void* data, int amount, long long offset) {
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK || offset + amount > size) {
        return SQLITE_FULL;
    }
    return DefaultSyscalls().db_write(file, data, amount, offset);
}

TEST_F(RegistryFile, DeletesStillWorkOnAFullDisk) {
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(kOk, Set(("v" + std::to_string(i)).c_str(), std::string(3000, 'v')));
    // One large transaction: the journal grows for it and is cut back to the limit after.
    ASSERT_EQ(kOk, Set("big", std::string(1 << 20, 'b')));
    ASSERT_EQ(kOk, RegDeleteValue(kLocalMachine, "big"));
    EXPECT_LE(std::filesystem::file_size(m_file + "-journal"), 256u * 1024u);
    {
        ScopedSyscall<int (*)(sqlite3_file*, const void*, int, long long)> full(
            &SyscallTable::db_write, FailGrowingWrites);
        EXPECT_EQ(kDiskFull, Set("new", std::string(2 << 20, 'n')));  // more than is free
        EXPECT_EQ(kOk, RegDeleteValue(kLocalMachine, "v3"));
        EXPECT_EQ(kOk, RegDeleteValue(kLocalMachine, "v5"));
    }
    EXPECT_EQ("status 2", Get("v3"));
    EXPECT_EQ("status 2", Get("new"));
    EXPECT_EQ("ok", QueryDatabase(m_file, "PRAGMA integrity_check"));
}

}  // namespace
