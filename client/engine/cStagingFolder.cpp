#include "cStagingFolder.h"

#include "OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class cFolderHandle {
  public:
    cFolderHandle(int at, const char* path)
        : fd(openat(at, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {}
    ~cFolderHandle() {
        if (fd >= 0) close(fd);
    }
    cFolderHandle(const cFolderHandle&) = delete;
    cFolderHandle& operator=(const cFolderHandle&) = delete;
    const int fd;
};

bool isRealFolder(int at, const std::string& name) {
    struct stat info;
    return fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> namesIn(int folder) {
    std::vector<std::string> names;
    int listing = dup(folder);
    DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0) close(listing);
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end()); // free numbered names in a stable order
    return names;
}

} // namespace

cStagingFolder::~cStagingFolder() {
    std::error_code ignored;
    if (!staging.empty()) std::filesystem::remove_all(staging, ignored);
}

std::string cStagingFolder::create(const std::string& folder) {
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved))
        return "cannot open the folder " + folder + ": " + std::strerror(errno);
    target = folder;
    std::string path = std::string(resolved) + "/" + kName;
    std::error_code error;
    std::filesystem::remove_all(path, error); // a link in its place is removed, not followed
    if (error) return "cannot remove the old " + path + ": " + error.message();
    if (mkdir(path.c_str(), 0700) != 0) return "cannot make " + path + ": " + std::strerror(errno);
    staging = path;
    return "";
}

std::string cStagingFolder::moveIntoTarget(std::vector<std::string>& written) {
    cFolderHandle from(AT_FDCWD, staging.c_str());
    cFolderHandle to(from.fd, "..");
    if (from.fd < 0 || to.fd < 0) return "cannot open " + target + ": " + std::strerror(errno);
    return moveEntries(from.fd, to.fd, target, written);
}

std::string cStagingFolder::moveEntries(int from, int to, const std::string& toPath,
                                        std::vector<std::string>& written) {
    for (const std::string& name : namesIn(from)) {
        // an entry with the staging folder's own name must not be merged into it
        if (name != kName && isRealFolder(from, name) && isRealFolder(to, name)) {
            cFolderHandle fromFolder(from, name.c_str());
            cFolderHandle toFolder(to, name.c_str());
            if (fromFolder.fd < 0 || toFolder.fd < 0)
                return "cannot open " + toPath + "/" + name + ": " + std::strerror(errno);
            std::string failed =
                moveEntries(fromFolder.fd, toFolder.fd, toPath + "/" + name, written);
            if (!failed.empty()) return failed;
            continue;
        }
        std::string placed, error;
        if (!renameToFreeName(from, name, to, name, placed, error))
            return toPath + "/" + name + ": " + error;
        written.push_back(toPath + "/" + placed);
    }
    return "";
}
