// Query results in tests: every row as texts, NULL spelled out, for sqlite3 callbacks.
#pragma once
#include <sqlite3.h>

#include <string>
#include <vector>

using SqlRows = std::vector<std::vector<std::string>>;

// An sqlite3_callback appending each row to the SqlRows behind `context`.
inline int collectSqlRow(void* context, int columns, char** values, char**) {
    std::vector<std::string> row;
    for (int i = 0; i < columns; ++i)
        row.push_back(values[i] ? values[i] : "NULL");
    static_cast<SqlRows*>(context)->push_back(row);
    return 0;
}

// The rows of `sql` on the database file `database`, opened read-only (beside a program
// that writes it); none when it cannot be opened.
inline SqlRows readOnlyRows(const std::string& database, const char* sql) {
    SqlRows rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(db, sql, collectSqlRow, &rows, nullptr);
    sqlite3_close(db);
    return rows;
}
