// Removing an SQLite database together with its journal files: a database rebuilt at
// the same path must never meet the write-ahead log or journal of the one it replaces.
#pragma once
#include <string>

void removeDatabaseFiles(const std::string& path);
