// A private temporary folder for harnesses whose parser reads and writes files.
#pragma once
#include <string>
#include <string_view>

// The folder, made on first use and removed with its files when the process ends.
const std::string& fuzzFolder();
// Writes `data` to `path` whole; fails the run when it cannot.
void writeWhole(const std::string& path, std::string_view data);
// The file's bytes; empty when it does not exist.
std::string readWhole(const std::string& path);
