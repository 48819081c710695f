// The registry database: keys, typed values, sizes, deletion, sharing, failures.
#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "os/os.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"

namespace {

using namespace mvos;

class Registry : public mvtest::IsolatedTest {
  protected:
    RegKey Create(const char* path) {
        RegKey key = nullptr;
        EXPECT_EQ(kOk, RegCreateKey(kLocalMachine, path, kKeyAllAccess, &key, nullptr)) << path;
        return key;
    }
    static std::string Name(int32_t (*enumerate)(RegKey, uint32_t, char*, uint32_t*), RegKey key,
                            uint32_t index) {
        char name[64];
        uint32_t size = sizeof name;
        if (enumerate(key, index, name, &size) != kOk) return "<none>";
        return std::string(name, size);
    }
};

TEST_F(Registry, MissingDatabaseReadsAsEmptyAndIsCreatedOnFirstWrite) {
    const std::string file = m_dir.File("a/b/registry.db");
    mvtest::ScopedEnv nested("MERIVANE_REGISTRY", file);
    RegKey key = nullptr;
    EXPECT_EQ(kFileNotFound, RegOpenKey(kLocalMachine, "SOFTWARE", kKeyRead, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(kFileNotFound, RegQueryValue(kLocalMachine, "x", nullptr, nullptr, nullptr));
    EXPECT_FALSE(IsFile(file.c_str()));
    RegCloseKey(Create("SOFTWARE"));
    EXPECT_TRUE(IsFile(file.c_str()));
    EXPECT_EQ(file, RegistryPath());
}

// Names compare without regard to case and keep their first spelling; empty path
// elements and overlong key names are refused.
TEST_F(Registry, NamesIgnoreCaseKeepTheirSpellingAndAreChecked) {
    bool created = false;
    RegKey a = nullptr, b = nullptr;
    ASSERT_EQ(kOk, RegCreateKey(kLocalMachine, "Software\\Ardwyn\\Merivane", kKeyAllAccess, &a,
                                &created));
    EXPECT_TRUE(created);
    ASSERT_EQ(kOk, RegCreateKey(kLocalMachine, "SOFTWARE\\ARDWYN\\merivane", kKeyAllAccess, &b,
                                &created));
    EXPECT_FALSE(created);
    ASSERT_EQ(kOk, RegSetValue(a, "Mixed Case", kRegSz, "abc", 3));
    ASSERT_EQ(kOk, RegSetValue(b, "MIXED CASE", kRegSz, "xyzw", 4));  // same value, replaced
    char data[8] = {};
    uint32_t size = sizeof data;
    EXPECT_EQ(kOk, RegQueryValue(a, "mixed case", nullptr, data, &size));
    EXPECT_EQ("xyzw", std::string(data, size));
    EXPECT_EQ("Mixed Case", Name(RegEnumValue, a, 0));
    EXPECT_EQ("<none>", Name(RegEnumValue, a, 1));
    RegKey sw = nullptr;
    ASSERT_EQ(kOk, RegOpenKey(kLocalMachine, "software", kKeyRead, &sw));
    EXPECT_EQ("Ardwyn", Name(RegEnumKey, sw, 0));
    RegCloseKey(sw);
    RegCloseKey(a);
    RegCloseKey(b);

    RegKey key = nullptr;
    for (const char* bad : {"\\a", "a\\", "a\\\\b", "\\"}) {
        EXPECT_EQ(kInvalidParameter, RegCreateKey(kLocalMachine, bad, kKeyAllAccess, &key, nullptr))
            << bad;
        EXPECT_EQ(kInvalidParameter, RegOpenKey(kLocalMachine, bad, kKeyRead, &key)) << bad;
    }
    std::string longName(256, 'k');
    EXPECT_EQ(kInvalidParameter,
              RegCreateKey(kLocalMachine, longName.c_str(), kKeyAllAccess, &key, nullptr));
    longName.pop_back();
    RegCloseKey(Create(longName.c_str()));
    EXPECT_EQ(kInvalidHandle, RegOpenKey(nullptr, "a", kKeyRead, &key));
}

// Each value keeps its type and bytes; a buffer one byte short gets nothing but the
// size needed, and a null buffer asks for the size.
TEST_F(Registry, TypedValuesSizesAndRights) {
    RegKey key = Create("Typed");
    const uint32_t dword = 0xA1B2C3D4u;
    const char multi[] = "one\0two\0";  // two strings and the final empty one
    const unsigned char binary[] = {0, 1, 2, 0, 255};
    const char path[] = "%SystemRoot%\\x.so";
    struct Expect {
        const char* name;
        uint32_t type;
        const void* bytes;
        uint32_t size;
    } expects[] = {{"dword", kRegDword, &dword, 4},
                   {"multi", kRegMultiSz, multi, sizeof multi},
                   {"binary", kRegBinary, binary, sizeof binary},
                   {"expand", kRegExpandSz, path, sizeof path},
                   {"empty", kRegSz, nullptr, 0},
                   {"", kRegSz, "default", 7}};
    for (const Expect& e : expects)
        ASSERT_EQ(kOk, RegSetValue(key, *e.name ? e.name : nullptr, e.type, e.bytes, e.size));
    for (const Expect& e : expects) {
        unsigned char data[64];
        std::memset(data, 0xEE, sizeof data);
        uint32_t type = 99, size = e.size - 1;
        if (e.size > 0) {
            EXPECT_EQ(kMoreData, RegQueryValue(key, e.name, &type, data, &size)) << e.name;
            EXPECT_EQ(e.size, size) << e.name;
            EXPECT_EQ(0xEE, data[0]) << e.name;
        }
        size = 0;
        EXPECT_EQ(kOk, RegQueryValue(key, e.name, nullptr, nullptr, &size)) << e.name;
        EXPECT_EQ(e.size, size) << e.name;
        ASSERT_EQ(kOk, RegQueryValue(key, e.name, &type, data, &size)) << e.name;
        EXPECT_EQ(e.type, type) << e.name;
        ASSERT_EQ(e.size, size) << e.name;
        EXPECT_TRUE(size == 0 || std::memcmp(data, e.bytes, size) == 0) << e.name;
        EXPECT_EQ(0xEE, data[size]) << e.name << ": nothing written past the value";
    }
    EXPECT_EQ(kInvalidParameter, RegSetValue(key, "bad", kRegBinary, nullptr, 3));
    unsigned char out[4];
    EXPECT_EQ(kInvalidParameter, RegQueryValue(key, "dword", nullptr, out, nullptr));
    EXPECT_EQ(kFileNotFound, RegQueryValue(key, "missing", nullptr, nullptr, nullptr));
    RegCloseKey(key);

    // A handle carries the access it was opened with.
    RegKey readOnly = nullptr, sub = nullptr;
    ASSERT_EQ(kOk, RegOpenKey(kLocalMachine, "Typed", kKeyQueryValue, &readOnly));
    char name[16];
    uint32_t size = sizeof name;
    EXPECT_EQ(kAccessDenied, RegSetValue(readOnly, "v", kRegSz, "x", 1));
    EXPECT_EQ(kAccessDenied, RegCreateKey(readOnly, "Sub", kKeyAllAccess, &sub, nullptr));
    EXPECT_EQ(kAccessDenied, RegEnumKey(readOnly, 0, name, &size));
    RegCloseKey(readOnly);
}

TEST_F(Registry, DeletingAKeyTakesItsValuesAndSubkeysAlong) {
    RegKey deep = Create("Tree\\A\\B\\C"), sibling = Create("Tree\\Other");
    ASSERT_EQ(kOk, RegSetValue(deep, "v", kRegSz, "x", 1));
    ASSERT_EQ(kOk, RegSetValue(sibling, "keep", kRegSz, "y", 1));
    ASSERT_EQ(kOk, RegDeleteKey(kLocalMachine, "tree\\a"));
    RegKey probe = nullptr;
    EXPECT_EQ(kFileNotFound, RegOpenKey(kLocalMachine, "Tree\\A\\B", kKeyRead, &probe));
    EXPECT_EQ(kKeyDeleted, RegSetValue(deep, "v", kRegSz, "x", 1));
    // A key created again at the same path is a new key: the old handle stays dead.
    RegKey again = Create("Tree\\A\\B\\C");
    EXPECT_EQ(kKeyDeleted, RegQueryValue(deep, "v", nullptr, nullptr, nullptr));
    EXPECT_EQ(kFileNotFound, RegQueryValue(again, "v", nullptr, nullptr, nullptr));
    EXPECT_EQ(kOk, RegQueryValue(sibling, "keep", nullptr, nullptr, nullptr));
    EXPECT_EQ(kFileNotFound, RegDeleteKey(kLocalMachine, "Tree\\Missing"));
    EXPECT_EQ(kInvalidParameter, RegDeleteKey(kLocalMachine, ""));
    EXPECT_EQ(kOk, RegDeleteValue(sibling, "KEEP"));
    EXPECT_EQ(kFileNotFound, RegDeleteValue(sibling, "keep"));
    for (RegKey k : {deep, sibling, again}) RegCloseKey(k);
}

// Failure injection: statements that start with a given text fail after some calls.
const char* g_failPrefix = nullptr;
int g_failAfter = 0;
int g_failCode = SQLITE_IOERR;
int FailingStep(sqlite3_stmt* stmt) {
    const char* sql = sqlite3_sql(stmt);
    if (g_failPrefix != nullptr &&
        std::strncmp(sql, g_failPrefix, std::strlen(g_failPrefix)) == 0 && g_failAfter-- <= 0) {
        return g_failCode;
    }
    return sqlite3_step(stmt);
}

// Handles, arguments and rights are checked before the database is touched.
TEST_F(Registry, EveryCallChecksHandleArgumentsAndRights) {
    RegKey key = Create("Args");
    ASSERT_EQ(kOk, RegSetValue(key, nullptr, kRegSz, "default", 7));
    ASSERT_EQ(kOk, RegSetValue(key, "abcdefghij", kRegSz, "v", 1));
    RegCloseKey(Create("Args\\Subkey-with-a-long-name"));
    char name[64];
    uint32_t size = sizeof name;
    RegKey out = nullptr;
    EXPECT_EQ(kInvalidHandle, RegCloseKey(nullptr));
    EXPECT_EQ(kInvalidHandle, RegQueryValue(nullptr, "v", nullptr, nullptr, nullptr));
    EXPECT_EQ(kInvalidHandle, RegSetValue(nullptr, "v", kRegSz, "x", 1));
    EXPECT_EQ(kInvalidHandle, RegDeleteValue(nullptr, "v"));
    EXPECT_EQ(kInvalidHandle, RegDeleteKey(nullptr, "Args"));
    EXPECT_EQ(kInvalidHandle, RegCreateKey(nullptr, "Args", kKeyAllAccess, &out, nullptr));
    EXPECT_EQ(kInvalidHandle, RegEnumKey(nullptr, 0, name, &size));
    EXPECT_EQ(kInvalidHandle, RegEnumValue(nullptr, 0, name, &size));
    EXPECT_EQ(kInvalidParameter,
              RegCreateKey(kLocalMachine, "Args", kKeyAllAccess, nullptr, nullptr));
    EXPECT_EQ(kInvalidParameter, RegOpenKey(kLocalMachine, "Args", kKeyRead, nullptr));
    EXPECT_EQ(kInvalidParameter, RegEnumKey(key, 0, nullptr, &size));
    EXPECT_EQ(kInvalidParameter, RegEnumValue(key, 0, name, nullptr));
    // The root handle is never closed.
    EXPECT_EQ(kOk, RegCloseKey(kLocalMachine));
    EXPECT_EQ(kOk, RegOpenKey(kLocalMachine, "Args", kKeyRead, &out));
    RegCloseKey(out);

    // Value names: null is the default value, longer than 16383 characters is refused.
    char data[16] = {};
    size = sizeof data;
    EXPECT_EQ(kOk, RegQueryValue(key, nullptr, nullptr, data, &size));
    EXPECT_EQ("default", std::string(data, size));
    const std::string tooLong(16384, 'n');
    EXPECT_EQ(kInvalidParameter, RegQueryValue(key, tooLong.c_str(), nullptr, nullptr, nullptr));
    EXPECT_EQ(kInvalidParameter, RegSetValue(key, tooLong.c_str(), kRegSz, "x", 1));
    EXPECT_EQ(kOk, RegDeleteValue(key, nullptr));
    EXPECT_EQ(kFileNotFound, RegQueryValue(key, "", nullptr, nullptr, nullptr));

    // An empty path opens the key itself.
    RegKey same = nullptr;
    ASSERT_EQ(kOk, RegOpenKey(key, "", kKeyAllAccess, &same));
    ASSERT_EQ(kOk, RegSetValue(same, "through", kRegDword, "\1\0\0\0", 4));
    EXPECT_EQ(kOk, RegQueryValue(key, "through", nullptr, nullptr, nullptr));
    RegCloseKey(same);

    // Names longer than the caller's buffer: the size needed, then the name.
    size = 5;
    EXPECT_EQ(kMoreData, RegEnumKey(key, 0, name, &size));
    EXPECT_EQ(sizeof "Subkey-with-a-long-name", size);
    EXPECT_EQ(kOk, RegEnumKey(key, 0, name, &size));
    EXPECT_EQ("Subkey-with-a-long-name", std::string(name, size));
    size = 10;
    EXPECT_EQ(kMoreData, RegEnumValue(key, 0, name, &size));
    EXPECT_EQ(11u, size);

    // Rights: a handle without query or set rights can do neither.
    RegKey writeOnly = nullptr, readOnly = nullptr;
    ASSERT_EQ(kOk, RegOpenKey(kLocalMachine, "Args", kKeySetValue, &writeOnly));
    ASSERT_EQ(kOk, RegOpenKey(kLocalMachine, "Args", kKeyQueryValue, &readOnly));
    EXPECT_EQ(kAccessDenied, RegQueryValue(writeOnly, "abcdefghij", nullptr, nullptr, nullptr));
    EXPECT_EQ(kAccessDenied, RegDeleteValue(readOnly, "abcdefghij"));
    EXPECT_EQ(kOk, RegQueryValue(readOnly, "abcdefghij", nullptr, nullptr, nullptr));
    for (RegKey k : {writeOnly, readOnly, key}) RegCloseKey(k);
}

// A handle whose key was deleted answers kKeyDeleted everywhere; so does every handle but
// the root's when the database file is gone.
TEST_F(Registry, DeletedKeysAndAMissingDatabase) {
    RegKey gone = Create("Gone"), kept = Create("Kept");
    ASSERT_EQ(kOk, RegDeleteKey(kLocalMachine, "Gone"));
    RegKey out = nullptr;
    char name[16];
    uint32_t size = sizeof name;
    EXPECT_EQ(kKeyDeleted, RegCreateKey(gone, "Sub", kKeyAllAccess, &out, nullptr));
    EXPECT_EQ(kKeyDeleted, RegOpenKey(gone, "Sub", kKeyRead, &out));
    EXPECT_EQ(kKeyDeleted, RegEnumKey(gone, 0, name, &size));
    EXPECT_EQ(kKeyDeleted, RegDeleteKey(gone, "Sub"));
    EXPECT_EQ(nullptr, out);

    mvtest::ScopedEnv elsewhere("MERIVANE_REGISTRY", m_dir.File("missing/registry.db"));
    EXPECT_EQ(kKeyDeleted, RegOpenKey(kept, "Sub", kKeyRead, &out));
    EXPECT_EQ(kKeyDeleted, RegEnumKey(kept, 0, name, &size));
    EXPECT_EQ(kKeyDeleted, RegEnumValue(kept, 0, name, &size));
    EXPECT_EQ(kKeyDeleted, RegQueryValue(kept, "v", nullptr, nullptr, nullptr));
    EXPECT_EQ(kNoMoreItems, RegEnumKey(kLocalMachine, 0, name, &size));
    EXPECT_EQ(kNoMoreItems, RegEnumValue(kLocalMachine, 0, name, &size));
    ASSERT_EQ(kOk, RegOpenKey(kLocalMachine, nullptr, kKeyRead, &out));  // the root itself
    EXPECT_EQ(kNoMoreItems, RegEnumKey(out, 0, name, &size));
    RegCloseKey(out);
    EXPECT_FALSE(IsFile(m_dir.File("missing/registry.db").c_str()));
    RegCloseKey(gone);
    RegCloseKey(kept);
}

// Paths the database cannot live at: too long for the platform, below a file.
TEST_F(Registry, UnusablePathsAreRefused) {
    RegKey out = nullptr;
    {
        mvtest::ScopedEnv tooLong("MERIVANE_REGISTRY", m_dir.File(std::string(5000, 'p')));
        EXPECT_EQ(kInvalidParameter,
                  RegCreateKey(kLocalMachine, "X", kKeyAllAccess, &out, nullptr));
        EXPECT_EQ(kInvalidParameter, RegOpenKey(kLocalMachine, "X", kKeyRead, &out));
    }
    char failure[512];
    {
        std::ofstream(m_dir.File("plain")) << "a file, not a folder";
        mvtest::ScopedEnv belowAFile("MERIVANE_REGISTRY", m_dir.File("plain/sub/registry.db"));
        EXPECT_EQ(kAccessDenied, RegCreateKey(kLocalMachine, "X", kKeyAllAccess, &out, nullptr));
        EXPECT_EQ(nullptr, out);
        ASSERT_GT(RegistryFailure(failure, sizeof failure), 0u);
        EXPECT_NE(nullptr, std::strstr(failure, "plain/sub/registry.db")) << failure;
    }
    // A folder that is a dangling link: the file is missing and its folder cannot be made.
    ASSERT_EQ(0, ::symlink(m_dir.File("nowhere/deeper").c_str(), m_dir.File("dangling").c_str()));
    mvtest::ScopedEnv dangling("MERIVANE_REGISTRY", m_dir.File("dangling/sub/registry.db"));
    EXPECT_EQ(kAccessDenied, RegCreateKey(kLocalMachine, "X", kKeyAllAccess, &out, nullptr));
    ASSERT_GT(RegistryFailure(failure, sizeof failure), 0u);
    EXPECT_NE(nullptr, std::strstr(failure, "cannot make its folder")) << failure;
    EXPECT_EQ(0u, RegistryFailure(nullptr, 10));
    EXPECT_EQ(0u, RegistryFailure(failure, 0));
}

// SQLite's result codes (extended ones by their primary code) become the documented
// statuses, whichever statement fails; the database keeps its contents.
TEST_F(Registry, StatementFailuresMapToStatuses) {
    RegKey key = Create("Codes");
    RegCloseKey(Create("Codes\\Child"));
    ASSERT_EQ(kOk, RegSetValue(key, "v", kRegSz, "old", 3));
    const std::pair<int, int32_t> codes[] = {
        {SQLITE_NOMEM, kNotEnoughMemory},
        {SQLITE_READONLY, kAccessDenied},
        {SQLITE_PERM, kAccessDenied},
        {SQLITE_CANTOPEN, kAccessDenied},
        {SQLITE_AUTH, kAccessDenied},
        {SQLITE_CORRUPT, kRegistryCorrupt},
        {SQLITE_NOTADB, kRegistryCorrupt},
        {SQLITE_FULL, kDiskFull},
        {SQLITE_LOCKED, kBusy},
        {SQLITE_BUSY_SNAPSHOT, kBusy},
        {SQLITE_IOERR_WRITE, kIoError},
        {SQLITE_ERROR, kIoError},
    };
    ScopedSyscall<int (*)(sqlite3_stmt*)> inject(&SyscallTable::db_step, FailingStep);
    for (const auto& c : codes) {
        SCOPED_TRACE(c.first);
        g_failCode = c.first;
        g_failAfter = 0;
        g_failPrefix = "INSERT INTO vals";
        EXPECT_EQ(c.second, RegSetValue(key, "v", kRegSz, "new", 3));
        g_failPrefix = "DELETE FROM vals WHERE key = ?";
        EXPECT_EQ(c.second, RegDeleteValue(key, "v"));
        g_failPrefix = "SELECT type, data";
        EXPECT_EQ(c.second, RegQueryValue(key, "v", nullptr, nullptr, nullptr));
        g_failPrefix = "SELECT name FROM keys";
        char name[16];
        uint32_t size = sizeof name;
        EXPECT_EQ(c.second, RegEnumKey(key, 0, name, &size));
        g_failPrefix = "WITH RECURSIVE";
        EXPECT_EQ(c.second, RegDeleteKey(key, "Child"));
        g_failPrefix = "SELECT 1 FROM keys";
        EXPECT_EQ(c.second, RegSetValue(key, "v", kRegSz, "new", 3));
        g_failPrefix = nullptr;
    }
    g_failCode = SQLITE_IOERR;
    char data[8] = {};
    uint32_t size = sizeof data;
    EXPECT_EQ(kOk, RegQueryValue(key, "v", nullptr, data, &size));
    EXPECT_EQ("old", std::string(data, size));
    RegKey child = nullptr;
    EXPECT_EQ(kOk, RegOpenKey(key, "Child", kKeyRead, &child));
    RegCloseKey(child);
    RegCloseKey(key);
}

// A batch is one per thread; a call that fails inside it fails its commit, which then
// leaves nothing of the batch behind.
TEST_F(Registry, BatchesEndWithTheirFirstFailure) {
    RegKey key = Create("Batch");
    EXPECT_EQ(kInvalidParameter, RegEndTransaction(true));
    ASSERT_EQ(kOk, RegBeginTransaction());
    EXPECT_EQ(kInvalidParameter, RegBeginTransaction());
    EXPECT_EQ(kOk, RegSetValue(key, "first", kRegSz, "1", 1));
    {
        ScopedSyscall<int (*)(sqlite3_stmt*)> inject(&SyscallTable::db_step, FailingStep);
        g_failPrefix = "INSERT INTO vals";
        g_failAfter = 0;
        g_failCode = SQLITE_FULL;
        EXPECT_EQ(kDiskFull, RegSetValue(key, "second", kRegSz, "2", 1));
        g_failPrefix = nullptr;
        g_failCode = SQLITE_IOERR;
    }
    EXPECT_EQ(kDiskFull, RegSetValue(key, "third", kRegSz, "3", 1));
    EXPECT_EQ(kDiskFull, RegEndTransaction(true));
    EXPECT_EQ(kFileNotFound, RegQueryValue(key, "first", nullptr, nullptr, nullptr));
    // A batch undone on purpose.
    ASSERT_EQ(kOk, RegBeginTransaction());
    EXPECT_EQ(kOk, RegSetValue(key, "first", kRegSz, "1", 1));
    EXPECT_EQ(kOk, RegEndTransaction(false));
    EXPECT_EQ(kFileNotFound, RegQueryValue(key, "first", nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

}  // namespace
