// A thin wrapper over the one SQLite connection of the article database.
//
// Every sequence of statements on the connection is made while holding the wrapper's
// lock ("dblock", shared by every database wrapper of the process); load and resetDB
// take it themselves, loadL and exec expect the caller to hold it. Statement failures
// are reported on standard output and never stop the caller.
#pragma once
#include <sqlite3.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

class sqliteDB {
  public:
    sqliteDB();
    ~sqliteDB();
    sqliteDB(const sqliteDB&) = delete;
    sqliteDB& operator=(const sqliteDB&) = delete;

    // 14 (cannot open) for a null path; 0 and no change when a connection is open;
    // otherwise the result of opening `path`.
    int open(const char* path);
    // As open(path), but a missing database file is first built from `script`.
    int open(const char* path, const char* script);
    // Closes an open connection; 0 when none was open. Later statements fail with 14.
    int close();

    // Runs a script file, one statement per line, under the lock.
    void load(const char* script);
    // The same without taking the lock: the caller holds it. A missing file is ignored.
    void loadL(const char* script);
    // Deletes the database file and builds it again from `script`, under the lock.
    void resetDB(const char* script);
    // How many resets this wrapper has made; changes only under the lock.
    unsigned resets() const { return resetCount.load(); }

    // Runs one statement; the caller holds the lock. A failure, and any statement on a
    // closed connection (code 14), prints the SQLerr line. Returns SQLite's result code.
    int exec(const char* sql, sqlite3_callback callback = nullptr, void* context = nullptr);

    // Runs one statement whose `?` parameters take `values` in order; the caller holds
    // the lock. The statement is prepared once per text and kept until the connection
    // closes, so a statement run for every segment is not parsed again each time. Rows
    // reach `callback` as with exec; a failure prints the SQLerr line with the values in
    // place. Returns SQLite's result code.
    int execBound(const char* sql, std::initializer_list<long long> values,
                  sqlite3_callback callback = nullptr, void* context = nullptr);

    // The "dblock" lock, usable with std::lock_guard / std::unique_lock.
    void lock() { dbLock.lock(); }
    void unlock() { dbLock.unlock(); }

    // The connection, null while closed. Other engine parts may call sqlite3_exec on it
    // directly while holding the lock.
    sqlite3* db = nullptr;

  private:
    // The segment index and the engine's own tables, beside what the schema script made.
    void addEngineTables();
    // The kept statement for `sql`, prepared now if need be; null when it cannot be.
    sqlite3_stmt* prepared(const char* sql);
    void finalizeStatements();

    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> statements;

    std::recursive_mutex& dbLock;
    std::string dbPath; // the file of the last open; resetDB rebuilds this one
    std::atomic<unsigned> resetCount{0};
};

// Row callback: stores the integer value of the first column of each row into the int
// that `context` points to (rows without a value leave it unchanged).
int cb_max(void* context, int columns, char** values, char** names);
