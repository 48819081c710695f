// Linux backend: SQLite, loaded on first use.
//
// The registry is the library's only SQLite user and most processes never touch it, so
// libsqlite3.so.0 is opened with dlopen when the registry first needs it and closed
// again at unload, instead of being a link dependency every load pays for.
#ifndef MV_OS_LINUX_SQLITE_API_H
#define MV_OS_LINUX_SQLITE_API_H

#include <sqlite3.h>

namespace mvos {

#define MV_SQLITE_FUNCTIONS(X) \
    X(open_v2)                 \
    X(close_v2)                \
    X(busy_handler)            \
    X(exec)                    \
    X(prepare_v2)              \
    X(finalize)                \
    X(step)                    \
    X(bind_int64)              \
    X(bind_text)               \
    X(bind_blob)               \
    X(bind_zeroblob)           \
    X(column_int64)            \
    X(column_text)             \
    X(column_blob)             \
    X(column_bytes)            \
    X(changes)                 \
    X(last_insert_rowid)       \
    X(errmsg)                  \
    X(errstr)                  \
    X(system_errno)            \
    X(vfs_find)                \
    X(vfs_register)            \
    X(vfs_unregister)

// The entry points the registry uses, each the library's function of the same name
// with the "sqlite3_" prefix dropped.
struct SqliteApi {
#define MV_SQLITE_MEMBER(name) decltype(&::sqlite3_##name) name;
    MV_SQLITE_FUNCTIONS(MV_SQLITE_MEMBER)
#undef MV_SQLITE_MEMBER
};

// The name of the registry's file system (open the registry's connections with it).
extern const char kRegistryVfs[];

// The loaded library's entry points; null when it cannot be loaded (the reason is
// then in *why, when given). Callers serialise on the registry lock.
const SqliteApi* Sqlite(const char** why = nullptr);
// Closes the library again (every connection must be closed first).
void ReleaseSqlite();
// The statement step the syscall table starts with.
int SqliteStep(sqlite3_stmt* stmt);
// The file write the syscall table starts with: the registry's files write through it.
int SqliteWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset);

}  // namespace mvos

#endif
