#include "enginepage.h"

#include <cstring>

#include "textmarkup.h"

int parseRows(char* page, const char* rowMarker, RowParser parseRow, const char* engine,
              std::string& sql) {
    char* first = page ? strstr(page, "<tr ") : nullptr;
    if (!first) return 0;
    const size_t markerLength = strlen(rowMarker);
    int accepted = 0;
    for (char* row = first + markerLength; row;) {
        char* next = strstr(row + 1, rowMarker);
        if (next) *next = 0;
        tresult result{};
        if (parseRow(row, result)) concatresult(accepted++, result, sql, engine);
        row = next ? next + markerLength : nullptr;
    }
    tresult none{};
    concatresult(-1, none, sql, engine);
    return accepted > 0 ? kParseHasRows : 0;
}

bool startsWithNumber(const char* id) {
    return id && *id >= '0' && *id <= '9';
}
