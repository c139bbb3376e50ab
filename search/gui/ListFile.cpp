#include "ListFile.h"

#include <cstdio>
#include <cstring>

namespace {

const int kLineChars = 1023;

} // namespace

std::optional<std::vector<std::string>> readListFile(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    std::vector<std::string> entries;
    char line[kLineChars + 1];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = 0;
        if (line[0]) entries.emplace_back(line);
    }
    fclose(file);
    return entries;
}
