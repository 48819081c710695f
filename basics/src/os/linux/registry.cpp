// Linux backend: the registry (HKEY_LOCAL_MACHINE) kept in one SQLite database.
//
// Table keys: one row per key (the root has id 1), name unique per parent without
// regard to ASCII case. Table vals: one row per value, its type and bytes. Every call
// runs in one transaction (BEGIN IMMEDIATE when it writes) over a connection that
// follows the database path of the moment; WAL mode and a busy timeout let several
// processes share the file.
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

struct RegKeyObject {
    uint32_t magic;
    int64_t id;
    uint32_t access;
};

namespace {

constexpr uint32_t kKeyMagic = 0x4B657921;  // "Key!"
constexpr int64_t kRootId = 1;
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr int kBusyTimeoutMs = 10000;

RegKeyObject g_root{kKeyMagic, kRootId, kKeyAllAccess};

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, name));"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, 0, 'HKEY_LOCAL_MACHINE');";

int32_t StatusOf(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kOk;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kBusy;
        case SQLITE_FULL:
            return kDiskFull;
        case SQLITE_NOMEM:
            return kNotEnoughMemory;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
        case SQLITE_AUTH:
            return kAccessDenied;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return kRegistryCorrupt;
        default:
            return kIoError;
    }
}

bool MakeParentDirectories(const std::string& file) {
    std::string dir;
    size_t slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return true;
    dir = file.substr(0, slash);
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

std::string CurrentPath() {
    const char* env = std::getenv("MERIVANE_REGISTRY");
    if (env != nullptr && *env != '\0') return env;
    if (::geteuid() == 0) return "/var/lib/merivane/registry.db";
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/merivane/registry.db";
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/state/merivane/registry.db";
}

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return m_rc == SQLITE_OK; }
    int PrepareResult() const { return m_rc; }
    Statement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& Bind(int i, const char* text) {
        sqlite3_bind_text(m_stmt, i, text, -1, SQLITE_STATIC);
        return *this;
    }
    Statement& BindBlob(int i, const void* data, uint32_t size) {
        if (size == 0) {
            sqlite3_bind_zeroblob(m_stmt, i, 0);
        } else {
            sqlite3_bind_blob(m_stmt, i, data, static_cast<int>(size), SQLITE_STATIC);
        }
        return *this;
    }
    // One step through the syscall table: SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return Syscalls().db_step(m_stmt); }
    sqlite3_stmt* Get() { return m_stmt; }

  private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

// The process's connection. All registry calls of the process are serialised on it.
class Database {
  public:
    std::mutex lock;

    // Makes the connection follow the current path. With forWrite the database (and its
    // folder) is created when missing; without, a missing file is kFileNotFound.
    int32_t Connect(bool forWrite) {
        std::string path = CurrentPath();
        if (m_db != nullptr && (m_pid != ::getpid() || m_path != path)) Disconnect();
        if (m_db != nullptr) return kOk;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            if (!forWrite) return kFileNotFound;
            if (!MakeParentDirectories(path)) return kAccessDenied;
        }
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            return StatusOf(rc);
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                     nullptr);
        rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            return StatusOf(rc);
        }
        m_db = db;
        m_path = path;
        m_pid = ::getpid();
        return kOk;
    }

    sqlite3* Handle() const { return m_db; }
    const std::string& Path() const { return m_path; }

  private:
    void Disconnect() {
        // A connection inherited through fork() belongs to the parent: leave it alone.
        if (m_pid == ::getpid()) sqlite3_close(m_db);
        m_db = nullptr;
    }

    sqlite3* m_db = nullptr;
    std::string m_path;
    pid_t m_pid = 0;
};

Database& Db() {
    static Database* db = new Database;  // lives to the end of the process
    return *db;
}

// One registry call: takes the lock, connects and runs one transaction.
class Transaction {
  public:
    explicit Transaction(bool write) : m_guard(Db().lock) {
        m_status = Db().Connect(write);
        if (m_status != kOk) return;
        Statement begin(Db().Handle(), write ? "BEGIN IMMEDIATE" : "BEGIN");
        int rc = begin.Ok() ? begin.Step() : begin.PrepareResult();
        if (rc != SQLITE_DONE) {
            m_status = StatusOf(rc);
            return;
        }
        m_open = true;
    }
    ~Transaction() {
        if (m_open) Exec("ROLLBACK");
    }
    int32_t Status() const { return m_status; }
    sqlite3* Handle() const { return Db().Handle(); }

    int32_t Commit() {
        if (!m_open) return m_status;
        m_open = false;
        int rc = Exec("COMMIT");
        if (rc != SQLITE_DONE) {
            Exec("ROLLBACK");
            return StatusOf(rc);
        }
        return kOk;
    }

  private:
    int Exec(const char* sql) {
        Statement s(Db().Handle(), sql);
        return s.Ok() ? s.Step() : s.PrepareResult();
    }

    std::lock_guard<std::mutex> m_guard;
    bool m_open = false;
    int32_t m_status = kOk;
};

bool ValidKey(RegKey key) {
    return key != nullptr && key->magic == kKeyMagic;
}

// Splits a key path into its names; null or "" is the empty path.
int32_t SplitPath(const char* subKey, std::vector<std::string>* names) {
    names->clear();
    if (subKey == nullptr || *subKey == '\0') return kOk;
    const char* p = subKey;
    while (true) {
        const char* end = std::strchr(p, '\\');
        size_t n = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        if (n == 0 || n > kMaxKeyName) return kInvalidParameter;
        names->emplace_back(p, n);
        if (end == nullptr) return kOk;
        p = end + 1;
    }
}

// Checks that the key still exists.
int32_t CheckAlive(Transaction& tx, int64_t id) {
    if (id == kRootId) return kOk;
    Statement s(tx.Handle(), "SELECT 1 FROM keys WHERE id = ?");
    if (!s.Ok()) return StatusOf(s.PrepareResult());
    int rc = s.Bind(1, id).Step();
    if (rc == SQLITE_ROW) return kOk;
    return rc == SQLITE_DONE ? kKeyDeleted : StatusOf(rc);
}

// Finds (or, with create, makes) the key below parent. *created tells whether the last
// name was new.
int32_t Walk(Transaction& tx, int64_t parent, const std::vector<std::string>& names, bool create,
             int64_t* id, bool* created) {
    *id = parent;
    if (created != nullptr) *created = false;
    for (const std::string& name : names) {
        Statement find(tx.Handle(), "SELECT id FROM keys WHERE parent = ? AND name = ?");
        if (!find.Ok()) return StatusOf(find.PrepareResult());
        int rc = find.Bind(1, *id).Bind(2, name.c_str()).Step();
        if (rc == SQLITE_ROW) {
            *id = sqlite3_column_int64(find.Get(), 0);
            if (created != nullptr) *created = false;
            continue;
        }
        if (rc != SQLITE_DONE) return StatusOf(rc);
        if (!create) return kFileNotFound;
        Statement add(tx.Handle(), "INSERT INTO keys(parent, name) VALUES(?, ?)");
        if (!add.Ok()) return StatusOf(add.PrepareResult());
        rc = add.Bind(1, *id).Bind(2, name.c_str()).Step();
        if (rc != SQLITE_DONE) return StatusOf(rc);
        *id = sqlite3_last_insert_rowid(tx.Handle());
        if (created != nullptr) *created = true;
    }
    return kOk;
}

int32_t NewHandle(int64_t id, uint32_t access, RegKey* result) {
    RegKeyObject* key = new (std::nothrow) RegKeyObject{kKeyMagic, id, access};
    if (key == nullptr) return kNotEnoughMemory;
    *result = key;
    return kOk;
}

bool ValidValueName(const char* name) {
    return std::strlen(name) <= kMaxValueName;
}

int32_t EnumName(RegKey key, uint32_t index, char* name, uint32_t* size, const char* sql,
                 uint32_t access) {
    if (!ValidKey(key) || size == nullptr || name == nullptr) {
        return ValidKey(key) ? kInvalidParameter : kInvalidHandle;
    }
    if ((key->access & access) != access) return kAccessDenied;
    Transaction tx(false);
    if (tx.Status() == kFileNotFound) return key->id == kRootId ? kNoMoreItems : kKeyDeleted;
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, key->id)) return st;
    Statement s(tx.Handle(), sql);
    if (!s.Ok()) return StatusOf(s.PrepareResult());
    int rc = s.Bind(1, key->id).Bind(2, static_cast<int64_t>(index)).Step();
    if (rc == SQLITE_DONE) return kNoMoreItems;
    if (rc != SQLITE_ROW) return StatusOf(rc);
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.Get(), 0));
    uint32_t length = static_cast<uint32_t>(std::strlen(text != nullptr ? text : ""));
    if (*size < length + 1) {
        *size = length + 1;
        return kMoreData;
    }
    std::memcpy(name, text != nullptr ? text : "", length + 1);
    *size = length;
    return kOk;
}

}  // namespace

RegKey const kLocalMachine = &g_root;

const char* RegistryPath() {
    static thread_local std::string path;
    path = CurrentPath();
    return path.c_str();
}

int32_t RegOpenKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result) {
    if (result == nullptr) return kInvalidParameter;
    *result = nullptr;
    if (!ValidKey(parent)) return kInvalidHandle;
    std::vector<std::string> names;
    if (int32_t st = SplitPath(subKey, &names)) return st;
    Transaction tx(false);
    if (tx.Status() == kFileNotFound) {
        if (parent->id != kRootId) return kKeyDeleted;
        return names.empty() ? NewHandle(kRootId, access, result) : kFileNotFound;
    }
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, parent->id)) return st;
    int64_t id = 0;
    if (int32_t st = Walk(tx, parent->id, names, false, &id, nullptr)) return st;
    if (int32_t st = tx.Commit()) return st;
    return NewHandle(id, access, result);
}

int32_t RegCreateKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result,
                     bool* created) {
    if (result == nullptr) return kInvalidParameter;
    *result = nullptr;
    if (created != nullptr) *created = false;
    if (!ValidKey(parent)) return kInvalidHandle;
    if ((parent->access & kKeyCreateSubKey) == 0) return kAccessDenied;
    std::vector<std::string> names;
    if (int32_t st = SplitPath(subKey, &names)) return st;
    Transaction tx(true);
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, parent->id)) return st;
    int64_t id = 0;
    bool isNew = false;
    if (int32_t st = Walk(tx, parent->id, names, true, &id, &isNew)) return st;
    if (int32_t st = tx.Commit()) return st;
    if (created != nullptr) *created = isNew;
    return NewHandle(id, access, result);
}

int32_t RegCloseKey(RegKey key) {
    if (!ValidKey(key)) return kInvalidHandle;
    if (key == kLocalMachine) return kOk;
    key->magic = 0;
    delete key;
    return kOk;
}

int32_t RegQueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    if (!ValidKey(key)) return kInvalidHandle;
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    if ((key->access & kKeyQueryValue) == 0) return kAccessDenied;
    if (name == nullptr) name = "";
    if (!ValidValueName(name)) return kInvalidParameter;
    Transaction tx(false);
    if (tx.Status() == kFileNotFound) return key->id == kRootId ? kFileNotFound : kKeyDeleted;
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, key->id)) return st;
    Statement s(tx.Handle(), "SELECT type, data FROM vals WHERE key = ? AND name = ?");
    if (!s.Ok()) return StatusOf(s.PrepareResult());
    int rc = s.Bind(1, key->id).Bind(2, name).Step();
    if (rc == SQLITE_DONE) return kFileNotFound;
    if (rc != SQLITE_ROW) return StatusOf(rc);
    uint32_t stored = static_cast<uint32_t>(sqlite3_column_bytes(s.Get(), 1));
    const void* bytes = sqlite3_column_blob(s.Get(), 1);
    if (type != nullptr) *type = static_cast<uint32_t>(sqlite3_column_int64(s.Get(), 0));
    int32_t status = kOk;
    if (data != nullptr) {
        if (*size < stored) {
            status = kMoreData;
        } else if (stored > 0) {
            std::memcpy(data, bytes, stored);
        }
    }
    if (size != nullptr) *size = stored;
    return status;
}

int32_t RegSetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
    if (!ValidKey(key)) return kInvalidHandle;
    if (data == nullptr && size > 0) return kInvalidParameter;
    if ((key->access & kKeySetValue) == 0) return kAccessDenied;
    if (name == nullptr) name = "";
    if (!ValidValueName(name)) return kInvalidParameter;
    Transaction tx(true);
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, key->id)) return st;
    Statement s(tx.Handle(),
                "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?) "
                "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (!s.Ok()) return StatusOf(s.PrepareResult());
    int rc = s.Bind(1, key->id)
                 .Bind(2, name)
                 .Bind(3, static_cast<int64_t>(type))
                 .BindBlob(4, data, size)
                 .Step();
    if (rc != SQLITE_DONE) return StatusOf(rc);
    return tx.Commit();
}

int32_t RegDeleteValue(RegKey key, const char* name) {
    if (!ValidKey(key)) return kInvalidHandle;
    if ((key->access & kKeySetValue) == 0) return kAccessDenied;
    if (name == nullptr) name = "";
    Transaction tx(true);
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, key->id)) return st;
    Statement s(tx.Handle(), "DELETE FROM vals WHERE key = ? AND name = ?");
    if (!s.Ok()) return StatusOf(s.PrepareResult());
    int rc = s.Bind(1, key->id).Bind(2, name).Step();
    if (rc != SQLITE_DONE) return StatusOf(rc);
    if (sqlite3_changes(tx.Handle()) == 0) return kFileNotFound;
    return tx.Commit();
}

int32_t RegDeleteKey(RegKey parent, const char* subKey) {
    if (!ValidKey(parent)) return kInvalidHandle;
    std::vector<std::string> names;
    if (int32_t st = SplitPath(subKey, &names)) return st;
    if (names.empty()) return kInvalidParameter;  // a key is deleted through its parent
    Transaction tx(true);
    if (tx.Status() != kOk) return tx.Status();
    if (int32_t st = CheckAlive(tx, parent->id)) return st;
    int64_t id = 0;
    if (int32_t st = Walk(tx, parent->id, names, false, &id, nullptr)) return st;
    static const char kTree[] =
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    const std::string dropValues = std::string(kTree) + "DELETE FROM vals WHERE key IN tree";
    const std::string dropKeys = std::string(kTree) + "DELETE FROM keys WHERE id IN tree";
    for (const std::string& sql : {dropValues, dropKeys}) {
        Statement s(tx.Handle(), sql.c_str());
        if (!s.Ok()) return StatusOf(s.PrepareResult());
        int rc = s.Bind(1, id).Step();
        if (rc != SQLITE_DONE) return StatusOf(rc);
    }
    return tx.Commit();
}

int32_t RegEnumKey(RegKey key, uint32_t index, char* name, uint32_t* size) {
    return EnumName(key, index, name, size,
                    "SELECT name FROM keys WHERE parent = ? ORDER BY name LIMIT 1 OFFSET ?",
                    kKeyEnumerateSubKeys);
}

int32_t RegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* size) {
    return EnumName(key, index, name, size,
                    "SELECT name FROM vals WHERE key = ? ORDER BY name LIMIT 1 OFFSET ?",
                    kKeyQueryValue);
}

}  // namespace mvos
