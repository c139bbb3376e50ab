#include "programFolder.h"

#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
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

std::vector<std::string> programFolders() {
    const std::string folder = programFolder();
    const std::filesystem::path installed =
        std::filesystem::path(folder) / CORV_INSTALLED_LIBRARY_FOLDER;
    return {installed.lexically_normal().string(), folder};
}

std::string besideProgram(const std::string& name) {
    for (const std::string& folder : programFolders()) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(folder + "/" + name, ignored))
            return folder + "/" + name;
    }
    return "";
}
