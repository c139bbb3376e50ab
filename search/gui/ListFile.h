// The list files behind the search panel's drop-down boxes ("./cfg/<list>.txt"): one
// entry per line, written by hand or by the main window's defaults.
#pragma once
#include <optional>
#include <string>
#include <vector>

// The entries of the list file at `path`, or nothing when it cannot be opened. Lines are
// read 1023 characters at a time, so a longer line becomes several entries; each piece
// ends at its first CR or LF, and empty pieces are skipped. Entries are UTF-8 texts.
std::optional<std::vector<std::string>> readListFile(const std::string& path);
