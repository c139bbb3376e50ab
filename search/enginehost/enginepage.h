// The common shape of a plug-in's page parser: cut the page into table rows and turn
// every accepted row into a line of the result script.
#pragma once
#include <string>

#include "tengine.h"

// Fills `row` (already cleared) from one table row cut out of the page; false skips it.
using RowParser = bool (*)(char* row, tresult& result);

// Rows start at the first "<tr " and are split at `rowMarker` (which begins with "<tr"),
// each split marker's "<" overwritten with a zero byte; every row begins just behind
// its "<tr". Accepted rows are appended to `sql` through
// concatresult under the service name `engine`. Returns kParseHasRows when at least
// one row was accepted, else 0 (with `sql` left empty when the page has no row).
int parseRows(char* page, const char* rowMarker, RowParser parseRow, const char* engine,
              std::string& sql);

// True when `id` starts with a decimal digit.
bool startsWithNumber(const char* id);
