#include "programFolder.h"

#include <climits>
#include <unistd.h>

std::string programFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string self(path, (size_t)length);
    size_t slash = self.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : self.substr(0, slash);
}
