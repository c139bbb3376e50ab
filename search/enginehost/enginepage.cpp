#include "enginepage.h"

#include <cstring>

#include "textmarkup.h"

int parseRows(char* page, const char* rowMarker, RowParser parseRow, const char* engine,
              std::string& sql) {
    static const char kRowStart[] = "<tr";
    char* first = page ? strstr(page, "<tr ") : nullptr;
    if (!first) return 0;
    int accepted = 0;
    // Every row begins just behind its "<tr", whichever marker split it off. A row that
    // is empty ends the page: its terminator is the last byte of the buffer.
    for (char* row = first + strlen(kRowStart); row;) {
        char* next = *row ? strstr(row + 1, rowMarker) : nullptr;
        if (next) *next = 0;
        tresult result{};
        if (parseRow(row, result)) concatresult(accepted++, result, sql, engine);
        row = next ? next + strlen(kRowStart) : nullptr;
    }
    tresult none{};
    concatresult(-1, none, sql, engine);
    return accepted > 0 ? kParseHasRows : 0;
}

bool startsWithNumber(const char* id) {
    return id && *id >= '0' && *id <= '9';
}
