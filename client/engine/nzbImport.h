// One NZB import as the download client does it: the converter turns the NZB into an
// SQL script whose ids continue after the stored ones, and the script is loaded into
// the article database under the database lock.
#pragma once
#include "sqliteDB.h"

#include <string>

struct tnzbImport {
    int postBase = 0;   // highest post id before the import
    int fileBase = 0;   // highest file id before the import
    long convertMs = 0; // time the converter took
    long loadMs = 0;    // time loading its script took
    std::string failure; // the converter's line saying why it wrote no script
};

// Imports `nzb` through the script file `script` (removed afterwards). False when the
// converter wrote no script; `times`, when given, receives the id bases, timings and
// the reason of a failure.
bool importNzb(sqliteDB& db, const char* nzb, const char* script, tnzbImport* times = nullptr);
