// Linux: a look into a registry database file from outside the registry.
#ifndef MV_TESTS_SUPPORT_LINUX_REGISTRY_DB_H
#define MV_TESTS_SUPPORT_LINUX_REGISTRY_DB_H

#include <sqlite3.h>

#include <string>

// The first row's first column of a query on a database file, read with SQLite directly
// ("<none>": no row, "<null>": a null, "<error>": the file or the query failed).
inline std::string QueryDatabase(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string result = "<error>";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            int rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(stmt, 0);
                result = text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
            } else if (rc == SQLITE_DONE) {
                result = "<none>";
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

#endif
