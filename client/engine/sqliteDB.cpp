#include "sqliteDB.h"

#include "articleSchema.h"
#include "cLineReader.h"
#include "databaseFiles.h"
#include "dblock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <vector>

namespace {

// Longest script line, line feed included, that the runner executes.
constexpr int SCRIPT_LINE_MAX = 4095;

// The log shows the connection as the low 32 bits of its handle, in hex.
unsigned handleBits(const sqlite3* db) {
    return (unsigned)(uintptr_t)db;
}

} // namespace

sqliteDB::sqliteDB() : dbLock(dblock()), dbPath(ARTICLES_DB) {}

sqliteDB::~sqliteDB() {
    close();
}

int sqliteDB::open(const char* path) {
    if (!path) return SQLITE_CANTOPEN;
    std::lock_guard<sqliteDB> guard(*this); // no statement sees a half-made connection
    if (db) return SQLITE_OK;
    int rc = sqlite3_open(path, &db);
    dbPath = path;
    if (rc != SQLITE_OK) {
        printf("SQLerr(%x): %d %s \n", handleBits(db), rc, sqlite3_errmsg(db));
        sqlite3_close(db); // a failed open still allocates a handle
        db = nullptr;
        return rc;
    }
    // Workers, decoder and imports each commit many short transactions: WAL with
    // NORMAL sync keeps one fsync per checkpoint instead of several per commit.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 10000);
    addEngineTables();
    return rc;
}

void sqliteDB::addEngineTables() {
    // Segments are looked up by file everywhere (an import's size sums, the queue's
    // views, the decoder's deletes); without this every lookup scans all segments.
    // A database without the segm table yet (being built) simply gets none.
    sqlite3_exec(db, "CREATE INDEX IF NOT EXISTS segmfile ON segm (segmFID)", nullptr, nullptr,
                 nullptr);
    // The post-processing stage looks at one post's files after every decode.
    sqlite3_exec(db, "CREATE INDEX IF NOT EXISTS filepost ON file (filePID)", nullptr, nullptr,
                 nullptr);
    // Tables of the engine's own beside the schema: a post's post-processing stage and
    // the archive password its NZB named.
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS postStage (pid INTEGER PRIMARY KEY, stage INTEGER "
                 "NOT NULL DEFAULT 0, percent INTEGER NOT NULL DEFAULT 0, note TEXT NOT NULL "
                 "DEFAULT '')",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS postPassword (pid INTEGER PRIMARY KEY, password "
                 "TEXT NOT NULL)",
                 nullptr, nullptr, nullptr);
    // Where the decoder put each file (a name taken gets a numbered one; a failed
    // finish leaves its part file): the post-processing stage works on these paths.
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS decodedFile (fid INTEGER NOT NULL, path TEXT NOT "
                 "NULL, PRIMARY KEY (fid, path))",
                 nullptr, nullptr, nullptr);
}

int sqliteDB::open(const char* path, const char* script) {
    if (path && access(path, F_OK) != 0) {
        dbPath = path;
        resetDB(script);
    }
    return open(path);
}

int sqliteDB::close() {
    std::lock_guard<sqliteDB> guard(*this); // a statement in progress finishes first
    if (!db) return 0;
    finalizeStatements(); // a kept statement would keep the connection open
    int rc = sqlite3_close(db);
    db = nullptr;
    return rc;
}

void sqliteDB::load(const char* script) {
    std::lock_guard<sqliteDB> guard(*this);
    loadL(script);
}

void sqliteDB::loadL(const char* script) {
    FILE* file = script ? fopen(script, "r") : nullptr;
    if (!file) return;
    if (!db) {
        printf("SQLerr: %s\n", "database not open, script not run");
        fclose(file);
        return;
    }
    char line[SCRIPT_LINE_MAX + 1];
    cLineReader reader(file);
    size_t length = 0;
    bool cut = false;
    while (reader.next(line, sizeof line, length, cut)) {
        if (cut) { // never run the pieces of one long line as statements of their own
            printf("SQLerr: %s\n", "script line longer than 4095 characters skipped");
            continue;
        }
        if (length <= 2 || line[0] == '#') continue;
        line[length - 1] = 0; // the line feed; a last line without one loses a character
        char* message = nullptr;
        if (sqlite3_exec(db, line, nullptr, nullptr, &message) != SQLITE_OK) {
            printf("SQLerr: %s\n", message ? message : sqlite3_errmsg(db));
            sqlite3_free(message);
        }
    }
    fclose(file);
}

void sqliteDB::resetDB(const char* script) {
    printf("reset DB '%s' '%s' ", dbPath.c_str(), script ? script : "");
    {
        std::lock_guard<sqliteDB> guard(*this);
        ++resetCount;
        close();
        printf(".");
        removeDatabaseFiles(dbPath);
        printf(".");
        std::string path = dbPath; // open() records the path again
        int rc = open(path.c_str());
        printf(".");
        if (rc == SQLITE_OK) {
            loadL(script);
            addEngineTables();
        }
        printf(".");
    }
    printf("!\n");
}

int sqliteDB::exec(const char* sql, sqlite3_callback callback, void* context) {
    int rc = SQLITE_CANTOPEN;
    if (db) {
        char* message = nullptr;
        rc = sqlite3_exec(db, sql, callback, context, &message);
        sqlite3_free(message);
    }
    if (rc != SQLITE_OK) printf("SQLerr(%x): %d %s \n", handleBits(db), rc, sql ? sql : "");
    return rc;
}

sqlite3_stmt* sqliteDB::prepared(const char* sql) {
    auto found = statements.find(std::string_view(sql));
    if (found != statements.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    statements.emplace(sql, statement);
    return statement;
}

void sqliteDB::finalizeStatements() {
    for (auto& [text, statement] : statements)
        sqlite3_finalize(statement);
    statements.clear();
}

int sqliteDB::execBound(const char* sql, std::initializer_list<long long> values,
                        sqlite3_callback callback, void* context) {
    sqlite3_stmt* statement = db ? prepared(sql) : nullptr;
    if (!statement) {
        int rc = db ? sqlite3_errcode(db) : SQLITE_CANTOPEN;
        printf("SQLerr(%x): %d %s \n", handleBits(db), rc, sql);
        return rc;
    }
    int index = 0;
    for (long long value : values)
        sqlite3_bind_int64(statement, ++index, value);
    const int columns = sqlite3_column_count(statement);
    std::vector<char*> row((size_t)columns), names((size_t)columns);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!callback) continue;
        for (int i = 0; i < columns; ++i) {
            row[(size_t)i] = (char*)sqlite3_column_text(statement, i);
            names[(size_t)i] = (char*)sqlite3_column_name(statement, i);
        }
        if (callback(context, columns, row.data(), names.data()) != 0) {
            rc = SQLITE_ABORT;
            break;
        }
    }
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
    if (rc != SQLITE_OK) {
        char* text = sqlite3_expanded_sql(statement);
        printf("SQLerr(%x): %d %s \n", handleBits(db), rc, text ? text : sql);
        sqlite3_free(text);
    }
    // Reset at once: a statement left mid-way would hold its read of the database.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc;
}

int cb_max(void* context, int columns, char** values, char**) {
    if (context && columns >= 1 && values && values[0])
        *static_cast<int*>(context) = atoi(values[0]);
    return 0;
}
