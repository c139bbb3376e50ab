#include "programFolder.h"

#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::string folderPart(const std::string& file) {
    size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

} // namespace

std::string programFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    return folderPart(std::string(path, (size_t)length));
}

std::string folderOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !strchr(info.dli_fname, '/'))
        return programFolder();
    return folderPart(info.dli_fname);
}
