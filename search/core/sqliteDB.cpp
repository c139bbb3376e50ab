#include "sqliteDB.h"

#include "databaseFiles.h"
#include "dblock.h"
#include "fixedField.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t MAXLINE = 4095;

bool endsInSqlExtension(const char* text) {
    const char* dot = strrchr(text, '.');
    return dot && strcmp(dot, ".sql") == 0;
}

} // namespace

sqliteDB::sqliteDB(const char* dbpath) {
    copyField(path, dbpath);
}

sqliteDB::~sqliteDB() {
    close();
}

int sqliteDB::open() {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    if (db) return 0;
    int rc = sqlite3_open(path, &db);
    if (rc != SQLITE_OK) {
        printf("sqliteDB:: cannot open %s: %s \n", path, sqlite3_errstr(rc));
        sqlite3_close(db); // sqlite3_open hands out a handle even when it fails
        db = nullptr;
    }
    return rc;
}

int sqliteDB::open(const char* script) {
    if (access(path, F_OK) != 0) resetDB(script);
    return open();
}

int sqliteDB::close() {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    if (!db) return 0;
    int rc = sqlite3_close(db);
    if (rc == SQLITE_OK) db = nullptr;
    return rc;
}

int sqliteDB::execL(const char* sql, callback cb, void* arg) {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    if (!db) return SQLITE_CANTOPEN;
    return sqlite3_exec(db, sql, cb, arg, nullptr);
}

int sqliteDB::load(const char* file) {
    std::ifstream in(file);
    if (!in) return -1;
    int failed = 0;
    bool begun = false;
    std::string line;
    while (std::getline(in, line)) {
        // Only the line end goes: a last line without one keeps its final character.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 2 || line[0] == '#') continue;
        if (line.size() > MAXLINE) {
            printf("sqliteDB:: line too long (%zu chars) skipped in %s \n", line.size(), file);
            ++failed;
            continue;
        }
        if (!begun) {
            execL("BEGIN");
            begun = true;
        }
        int rc = execL(line.c_str());
        if (rc != SQLITE_OK) {
            printf("sqliteDB:: failed %d: %s \n", rc, line.c_str());
            ++failed;
        }
    }
    if (begun) execL("COMMIT");
    return failed;
}

int sqliteDB::loadL(const char* file) {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    return load(file);
}

int sqliteDB::resetDB(const char* script) {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    int rc = close();
    if (rc != SQLITE_OK) return rc; // still in use: keep the file rather than pull it away
    removeDatabaseFiles(path);
    rc = open();
    if (rc != SQLITE_OK || !script) return rc;
    if (endsInSqlExtension(script)) return load(script) == 0 ? SQLITE_OK : SQLITE_ERROR;
    return execL(script);
}
