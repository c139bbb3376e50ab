#include "ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

const int kLineChars = 1023;

} // namespace

std::optional<std::vector<std::string>> readListFile(const std::string& path) {
    // Only a plain file is a list: a pipe or a device put in its place would hold the
    // window until someone wrote to it.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    FILE* file = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        printf("list: %s is no plain file, its box stays empty\n", path.c_str());
        close(fd);
        return std::nullopt;
    }
    std::vector<std::string> entries;
    char line[kLineChars + 1];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = 0;
        if (line[0]) entries.emplace_back(line);
    }
    fclose(file);
    return entries;
}
