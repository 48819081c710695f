// Linux backend: the registry (HKEY_LOCAL_MACHINE) kept in one SQLite database.
//
// Table keys: one row per key (the root has id 1), name unique per parent without
// regard to ASCII case. Table vals: one row per value, its type and bytes. Every call
// runs in one transaction (BEGIN IMMEDIATE when it writes) over a connection that
// follows the database path of the moment; a batch (RegBeginTransaction) joins the
// calls of one thread into one transaction.
//
// The database keeps a rollback journal in persistent mode: after every commit the
// database file alone holds every setting (a copy of it is a complete backup), a user
// with read access alone can read it, and the journal file stays allocated (at most
// kJournalLimit bytes) so that a delete still finds room for its journal on a full
// disk. Writers and readers wait for each other by polling every millisecond, up to
// kBusyLimitMs, so that under contention no caller starves behind the others.
//
// Each connection is checked when it opens: the path must be a regular file (or
// missing, to be created by a write), the file must pass SQLite's integrity check
// (a damaged file is still read but never written), and the file the path names is
// compared with the open one on every call, so a file removed or replaced while the
// process runs is left for the new one. Failures are recorded with their cause (the
// path and the SQLite or system reason); each new cause is reported once through the
// installed failure sink.
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/linux/internal.h"
#include "os/linux/sqlite_api.h"
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
constexpr int kBusyLimitMs = 20000;
constexpr int kJournalLimit = 256 * 1024;
constexpr size_t kFailureSize = PATH_MAX + 256;

RegKeyObject g_root{kKeyMagic, kRootId, kKeyAllAccess};

const char kSetup[] =
    "PRAGMA journal_mode=PERSIST;"
    "PRAGMA journal_size_limit=262144;"
    "PRAGMA synchronous=NORMAL;"
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
static_assert(kJournalLimit == 262144, "kSetup repeats the journal limit");

int32_t StatusOfCode(int rc) {
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

// Makes the folders of file's path. 0, or the errno of the first that cannot be made.
int MakeParentDirectories(const std::string& file) {
    size_t slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return 0;
    const std::string dir = file.substr(0, slash);
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return errno;
        }
    }
    return 0;
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

// Waits a millisecond per call, up to kBusyLimitMs in all.
int WaitWhileBusy(void*, int calls) {
    if (calls >= kBusyLimitMs) return 0;
    const timespec pause{0, 1000000};
    ::nanosleep(&pause, nullptr);
    return 1;
}

const SqliteApi& Api();

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = Api().prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { Api().finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return m_rc == SQLITE_OK; }
    int PrepareResult() const { return m_rc; }
    Statement& Bind(int i, int64_t v) {
        Api().bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& Bind(int i, const char* text) {
        Api().bind_text(m_stmt, i, text, -1, SQLITE_STATIC);
        return *this;
    }
    Statement& BindBlob(int i, const void* data, uint32_t size) {
        if (size == 0) {
            Api().bind_zeroblob(m_stmt, i, 0);
        } else {
            Api().bind_blob(m_stmt, i, data, static_cast<int>(size), SQLITE_STATIC);
        }
        return *this;
    }
    // One step through the syscall table: SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return Syscalls().db_step(m_stmt); }
    // Prepares and steps once: the step's result, or the preparation's error.
    int Run() { return Ok() ? Step() : m_rc; }
    sqlite3_stmt* Get() { return m_stmt; }

  private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

// The process's connection. All registry calls of the process are serialised on it.
// Every member is trivially destructible: the object outlives every other object of
// the library and needs no destructor at unload (CloseRegistry closes the connection).
class Database {
  public:
    std::mutex lock;

    // Makes the connection follow the current path. With forWrite the database (and its
    // folder) is created when missing and a connection that cannot write is refused;
    // without, a missing file (or one that holds no registry yet) is kFileNotFound.
    int32_t Connect(bool forWrite) {
        const std::string path = CurrentPath();
        if (m_db != nullptr && (m_pid != ::getpid() || path != m_path || Replaced())) {
            Disconnect();
        }
        if (m_db != nullptr && forWrite && m_readOnly) Disconnect();  // perhaps writable now
        if (m_db == nullptr) {
            if (path.size() >= sizeof m_path) return Fail(path, kInvalidParameter, "path too long");
            if (int32_t st = Open(path, forWrite)) return st;
        }
        if (!forWrite) return kOk;
        if (m_damaged) return Fail(m_path, kRegistryCorrupt, m_damage);
        if (m_readOnly) return Fail(m_path, kAccessDenied, "the file cannot be written");
        return kOk;
    }

    void Disconnect() {
        // A connection inherited through fork() belongs to the parent: leave it alone.
        // Statements still open keep it until they are finalized (close_v2).
        if (m_db != nullptr && m_pid == ::getpid()) Api().close_v2(m_db);
        m_db = nullptr;
        m_path[0] = '\0';
    }

    // The status of an SQLite result; a failure is recorded with SQLite's message.
    int32_t StatusOf(int rc) {
        const int32_t status = StatusOfCode(rc);
        if (status == kOk) return kOk;
        if (m_batch) m_batchFailed = status;
        std::string cause = m_db != nullptr ? Api().errmsg(m_db) : Api().errstr(rc);
        const int osError = m_db != nullptr ? Api().system_errno(m_db) : 0;
        if (osError != 0 && (rc & 0xFF) != SQLITE_BUSY) {
            cause += std::string(" (") + std::strerror(osError) + ")";
        }
        return Fail(m_path, status, cause.c_str());
    }

    // Records a failure "registry <path>: <cause>"; the first failure of a file is
    // reported (a file that keeps failing is not reported again and again).
    int32_t Fail(const std::string& path, int32_t status, const char* cause) {
        std::snprintf(m_failure, sizeof m_failure, "registry %s: %s", path.c_str(), cause);
        if (path != m_reported) {
            std::snprintf(m_reported, sizeof m_reported, "%s", path.c_str());
            if (m_sink != nullptr) m_sink(m_failure);
        }
        return status;
    }

    sqlite3* Handle() const { return m_db; }
    const char* Failure() const { return m_failure; }
    RegistryFailureSink SetSink(RegistryFailureSink sink) {
        RegistryFailureSink old = m_sink;
        m_sink = sink;
        return old;
    }

    // The batch of the thread that holds the lock across calls (RegBeginTransaction).
    bool m_batch = false;
    int32_t m_batchFailed = kOk;

  private:
    int32_t Open(const std::string& path, bool forWrite) {
        struct stat st;
        bool exists = ::stat(path.c_str(), &st) == 0;
        if (!exists && errno != ENOENT) return Fail(path, kAccessDenied, std::strerror(errno));
        if (exists && !S_ISREG(st.st_mode)) {
            return Fail(path, kAccessDenied, "not a regular file");
        }
        if (!exists && !forWrite) return kFileNotFound;
        if (!exists) {
            if (int error = MakeParentDirectories(path)) {
                const std::string cause =
                    std::string("cannot make its folder (") + std::strerror(error) + ")";
                return Fail(path, kAccessDenied, cause.c_str());
            }
        }
        const char* why = "SQLite cannot be loaded";
        if (Sqlite(&why) == nullptr) return Fail(path, kIoError, why);
        const bool readOnly = exists && ::access(path.c_str(), W_OK) != 0;
        const int flags =
            (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
            SQLITE_OPEN_NOMUTEX;
        std::memcpy(m_path, path.c_str(), path.size() + 1);
        m_pid = ::getpid();
        m_readOnly = readOnly;
        m_damaged = false;
        int rc = Api().open_v2(path.c_str(), &m_db, flags, kRegistryVfs);
        if (rc != SQLITE_OK) {
            int32_t status = StatusOf(rc);
            Disconnect();
            return status;
        }
        Api().busy_handler(m_db, WaitWhileBusy, nullptr);
        if (::stat(path.c_str(), &st) == 0) {
            m_device = st.st_dev;
            m_inode = st.st_ino;
        }
        if (exists && st.st_size > 0) CheckIntegrity();
        if (!m_damaged && !readOnly) {
            rc = Api().exec(m_db, kSetup, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) {
                int32_t status = StatusOf(rc);
                Disconnect();
                return status;
            }
        }
        if (readOnly && !m_damaged && !HasTables()) {
            Disconnect();
            return kFileNotFound;
        }
        return kOk;
    }

    // SQLite's integrity check; a file that fails it (or is no database) is damaged.
    void CheckIntegrity() {
        Statement check(m_db, "PRAGMA integrity_check(1)");
        int rc = check.Run();
        if (rc == SQLITE_ROW) {
            const char* text = reinterpret_cast<const char*>(Api().column_text(check.Get(), 0));
            if (text != nullptr && std::strcmp(text, "ok") == 0) return;
            std::snprintf(m_damage, sizeof m_damage, "damaged (%s)", text != nullptr ? text : "");
        } else {
            std::snprintf(m_damage, sizeof m_damage, "%s", Api().errmsg(m_db));
        }
        m_damaged = true;
        Fail(m_path, kRegistryCorrupt, m_damage);
    }

    bool HasTables() {
        Statement s(m_db, "SELECT 1 FROM sqlite_master WHERE name = 'vals'");
        return s.Run() == SQLITE_ROW;
    }

    // True when the path no longer names the open file (removed, or replaced by another).
    bool Replaced() const {
        struct stat st;
        return ::stat(m_path, &st) != 0 || st.st_dev != m_device || st.st_ino != m_inode;
    }

    sqlite3* m_db = nullptr;
    char m_path[PATH_MAX] = {};
    pid_t m_pid = 0;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_readOnly = false;
    bool m_damaged = false;
    char m_damage[256] = {};
    char m_failure[kFailureSize] = {};
    char m_reported[PATH_MAX] = {};  // the file whose failure was reported last
    RegistryFailureSink m_sink = nullptr;
};

Database g_db;

Database& Db() {
    return g_db;
}

const SqliteApi& Api() {
    return *Sqlite();
}

// The thread that runs a batch holds the lock between its begin and its end.
thread_local bool t_inBatch = false;

int32_t StatusOf(int rc) {
    return Db().StatusOf(rc);
}

// One registry call: takes the lock, connects and runs one transaction; inside a batch
// of the thread, joins the batch's transaction instead.
class Transaction {
  public:
    explicit Transaction(bool write) : m_guard(Db().lock, std::defer_lock) {
        if (t_inBatch) {
            m_status = Db().m_batchFailed;
            return;
        }
        m_guard.lock();
        m_status = Db().Connect(write);
        if (m_status != kOk) return;
        Statement begin(Db().Handle(), write ? "BEGIN IMMEDIATE" : "BEGIN");
        int rc = begin.Run();
        if (rc != SQLITE_DONE) {
            m_status = StatusOf(rc);
            return;
        }
        m_open = true;
    }
    ~Transaction() {
        if (m_open) RollBack();
    }

    // Undoes the open transaction; when even that fails, closing the connection does it
    // (the next call connects again), so no transaction stays open on it.
    static void RollBack() {
        if (Exec("ROLLBACK") != SQLITE_DONE) Db().Disconnect();
    }
    int32_t Status() const { return m_status; }
    sqlite3* Handle() const { return Db().Handle(); }

    int32_t Commit() {
        if (!m_open) return t_inBatch ? Db().m_batchFailed : m_status;
        m_open = false;
        int rc = Exec("COMMIT");
        if (rc != SQLITE_DONE) {
            int32_t status = StatusOf(rc);
            RollBack();
            return status;
        }
        return kOk;
    }

    static int Exec(const char* sql) {
        Statement s(Db().Handle(), sql);
        return s.Run();
    }

  private:
    std::unique_lock<std::mutex> m_guard;
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
            *id = Api().column_int64(find.Get(), 0);
            if (created != nullptr) *created = false;
            continue;
        }
        if (rc != SQLITE_DONE) return StatusOf(rc);
        if (!create) return kFileNotFound;
        Statement add(tx.Handle(), "INSERT INTO keys(parent, name) VALUES(?, ?)");
        if (!add.Ok()) return StatusOf(add.PrepareResult());
        rc = add.Bind(1, *id).Bind(2, name.c_str()).Step();
        if (rc != SQLITE_DONE) return StatusOf(rc);
        *id = Api().last_insert_rowid(tx.Handle());
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
    const char* text = reinterpret_cast<const char*>(Api().column_text(s.Get(), 0));
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
    static thread_local char path[PATH_MAX];
    std::snprintf(path, sizeof path, "%s", CurrentPath().c_str());
    return path;
}

size_t RegistryFailure(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::unique_lock<std::mutex> guard(Db().lock, std::defer_lock);
    if (!t_inBatch) guard.lock();
    std::snprintf(buffer, size, "%s", Db().Failure());
    return std::strlen(buffer);
}

RegistryFailureSink SetRegistryFailureSink(RegistryFailureSink sink) {
    std::lock_guard<std::mutex> guard(Db().lock);
    return Db().SetSink(sink);
}

int32_t RegBeginTransaction() {
    if (t_inBatch) return kInvalidParameter;
    Db().lock.lock();
    int32_t status = Db().Connect(true);
    if (status == kOk) {
        int rc = Transaction::Exec("BEGIN IMMEDIATE");
        status = rc == SQLITE_DONE ? kOk : StatusOf(rc);
    }
    if (status != kOk) {
        Db().lock.unlock();
        return status;
    }
    t_inBatch = true;
    Db().m_batch = true;
    Db().m_batchFailed = kOk;
    return kOk;
}

int32_t RegEndTransaction(bool commit) {
    if (!t_inBatch) return kInvalidParameter;
    int32_t status = kOk;
    if (commit && Db().m_batchFailed == kOk) {
        int rc = Transaction::Exec("COMMIT");
        if (rc != SQLITE_DONE) status = StatusOf(rc);
    } else if (commit) {
        status = Db().m_batchFailed;
    }
    // After a failed commit, or instead of one: the batch leaves nothing behind.
    if (!commit || status != kOk) Transaction::RollBack();
    Db().m_batch = false;
    Db().m_batchFailed = kOk;
    t_inBatch = false;
    Db().lock.unlock();
    return status;
}

void CloseRegistry() {
    std::lock_guard<std::mutex> guard(Db().lock);
    Db().Disconnect();
    ReleaseSqlite();
}

void ReleaseOnUnload() {
    CloseRegistry();
    ReleaseSystemLog();
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
    uint32_t stored = static_cast<uint32_t>(Api().column_bytes(s.Get(), 1));
    const void* bytes = Api().column_blob(s.Get(), 1);
    if (type != nullptr) *type = static_cast<uint32_t>(Api().column_int64(s.Get(), 0));
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
    if (Api().changes(tx.Handle()) == 0) return kFileNotFound;
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
