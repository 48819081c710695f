// Linux backend: SQLite loaded on first use, and the registry's file system shim.
#include "os/linux/sqlite_api.h"

#include <dlfcn.h>

#include <cstring>

#include "os/os.h"

namespace mvos {

namespace {

constexpr char kLibrary[] = "libsqlite3.so.0";

// The registry opens its files through a file system of its own that forwards every
// call to SQLite's default one, except that writes go through the syscall table, so
// tests can make any write fail. Each kind of file SQLite opens has its own method
// table; the shim keeps a copy of each with the write replaced.
constexpr int kMethodKinds = 8;
struct MethodPair {
    const sqlite3_io_methods* original;
    sqlite3_io_methods patched;
};

struct Loaded {
    void* handle = nullptr;
    SqliteApi api{};
    sqlite3_vfs* base = nullptr;
    sqlite3_vfs vfs{};
    MethodPair methods[kMethodKinds]{};
    int methodCount = 0;
};

Loaded g_loaded;
bool g_ready = false;

int ShimWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    return Syscalls().db_write(file, data, amount, offset);
}

int ShimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    int rc = g_loaded.base->xOpen(g_loaded.base, name, file, flags, outFlags);
    const sqlite3_io_methods* original = file->pMethods;
    if (rc != SQLITE_OK || original == nullptr) return rc;
    for (int i = 0; i < g_loaded.methodCount; ++i) {
        if (g_loaded.methods[i].original == original) {
            file->pMethods = &g_loaded.methods[i].patched;
            return rc;
        }
    }
    if (g_loaded.methodCount == kMethodKinds) return rc;  // unpatched: writes go direct
    MethodPair& pair = g_loaded.methods[g_loaded.methodCount++];
    pair.original = original;
    pair.patched = *original;
    pair.patched.xWrite = ShimWrite;
    file->pMethods = &pair.patched;
    return rc;
}

const sqlite3_io_methods* OriginalMethods(const sqlite3_file* file) {
    for (int i = 0; i < g_loaded.methodCount; ++i) {
        if (&g_loaded.methods[i].patched == file->pMethods) return g_loaded.methods[i].original;
    }
    return file->pMethods;
}

bool Load(const char** why) {
    void* handle = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (why != nullptr) *why = ::dlerror();
        return false;
    }
    SqliteApi api{};
    bool complete = true;
#define MV_SQLITE_RESOLVE(name)                                                         \
    api.name = reinterpret_cast<decltype(api.name)>(::dlsym(handle, "sqlite3_" #name)); \
    complete = complete && api.name != nullptr;
    MV_SQLITE_FUNCTIONS(MV_SQLITE_RESOLVE)
#undef MV_SQLITE_RESOLVE
    sqlite3_vfs* base = complete ? api.vfs_find(nullptr) : nullptr;
    if (base == nullptr) {
        if (why != nullptr) *why = "libsqlite3.so.0 lacks an entry point the registry needs";
        ::dlclose(handle);
        return false;
    }
    g_loaded = Loaded{};
    g_loaded.handle = handle;
    g_loaded.api = api;
    g_loaded.base = base;
    g_loaded.vfs = *base;
    g_loaded.vfs.zName = kRegistryVfs;
    g_loaded.vfs.pNext = nullptr;
    g_loaded.vfs.xOpen = ShimOpen;
    if (api.vfs_register(&g_loaded.vfs, 0) != SQLITE_OK) {
        if (why != nullptr) *why = "the registry's file system cannot be registered with SQLite";
        ::dlclose(handle);
        g_loaded = Loaded{};
        return false;
    }
    return true;
}

}  // namespace

const char kRegistryVfs[] = "merivane-registry";

const SqliteApi* Sqlite(const char** why) {
    if (!g_ready) g_ready = Load(why);
    return g_ready ? &g_loaded.api : nullptr;
}

void ReleaseSqlite() {
    if (!g_ready) return;
    // Another user of the same libsqlite3 in the process keeps it loaded: the shim must
    // not stay registered with code that goes away.
    g_loaded.api.vfs_unregister(&g_loaded.vfs);
    ::dlclose(g_loaded.handle);
    g_loaded = Loaded{};
    g_ready = false;
}

int SqliteStep(sqlite3_stmt* stmt) {
    return g_loaded.api.step(stmt);
}

int SqliteWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    return OriginalMethods(file)->xWrite(file, data, amount, offset);
}

}  // namespace mvos
