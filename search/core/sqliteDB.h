// Thin wrapper over one SQLite connection of the search core. Every statement sequence
// runs under the process-wide "dblock" lock, so result scripts arriving on the fetcher's
// thread never interleave with the window's page reads.
#pragma once

struct sqlite3;

class sqliteDB {
  public:
    using callback = int (*)(void* arg, int cols, char** values, char** names);

    explicit sqliteDB(const char* path);
    virtual ~sqliteDB();
    sqliteDB(const sqliteDB&) = delete;
    sqliteDB& operator=(const sqliteDB&) = delete;

    // Connects unless connected; SQLite's result, 0 when already connected.
    int open();
    // Creates the database from `script` when its file is missing, then connects.
    int open(const char* script);
    // Disconnects if connected; SQLite's result, 0 otherwise.
    int close();
    bool connected() const { return db != nullptr; }

    // Runs any number of statements; SQLite's result code, 14 when not connected.
    int execL(const char* sql, callback cb = nullptr, void* arg = nullptr);
    // Runs an SQL file of one statement per line inside one transaction; a failing
    // line is logged and skipped. Returns the number of lines that failed, -1 when the
    // file cannot be read.
    int load(const char* file);
    int loadL(const char* file);
    // Deletes the database file and recreates it from `script`: an ".sql" file name or
    // SQL text. A reconnect that fails leaves the database closed.
    int resetDB(const char* script);

  private:
    sqlite3* db = nullptr;
    char path[512] = {};
};
