// Query results in tests: every row as texts, NULL spelled out, for sqlite3 callbacks.
#pragma once
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
