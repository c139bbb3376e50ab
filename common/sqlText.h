// Text for a quoted SQL literal. Every statement is formatted as text and run with
// sqlite3_exec, which runs each statement it finds: an apostrophe left single would end
// the literal and let the rest of the text run as SQL.
#pragma once
#include <cstddef>
#include <string>

// Appends `text` with every apostrophe doubled. Reading stops once more than `limit`
// bytes have been appended, so a huge text costs no more than the room it can have.
inline void appendSqlText(std::string& out, const char* text, size_t limit = std::string::npos) {
    const size_t start = out.size();
    for (const char* p = text; *p && out.size() - start <= limit; ++p) {
        if (*p == '\'') out += '\'';
        out += *p;
    }
}
