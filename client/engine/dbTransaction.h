// One statement sequence on the article database: holds the database lock and an open
// transaction from construction to destruction. A commit that fails (a full disk, a
// busy file) is rolled back, so the connection never stays inside a transaction that
// every later "BEGIN" would fail on and that would swallow all later work.
#pragma once
#include "sqliteDB.h"

#include <mutex>

class dbTransaction {
  public:
    explicit dbTransaction(sqliteDB& db);
    ~dbTransaction();
    dbTransaction(const dbTransaction&) = delete;
    dbTransaction& operator=(const dbTransaction&) = delete;

    // Runs one statement; failures print the SQLerr line. SQLite's result code.
    int exec(const char* sql, sqlite3_callback callback = nullptr, void* context = nullptr) {
        return db.exec(sql, callback, context);
    }
    // Runs one statement with its `?` parameters bound, from a kept prepared statement.
    int execBound(const char* sql, std::initializer_list<long long> values,
                  sqlite3_callback callback = nullptr, void* context = nullptr) {
        return db.execBound(sql, values, callback, context);
    }

  private:
    sqliteDB& db;
    std::lock_guard<sqliteDB> guard;
};
