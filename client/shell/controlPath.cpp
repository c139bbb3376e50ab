#include "controlPath.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

// sun_path holds the path and its terminating NUL.
constexpr size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

// FNV-1a: stable across builds and machines, and short enough for any runtime folder.
uint64_t pathHash(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

ControlPath refused(int error, std::string problem) {
    return ControlPath{"", error, std::move(problem)};
}

// Nobody but `uid` may put a socket into the folder or reach one inside it.
ControlPath checkedFolder(const std::string& folder, uid_t uid, const std::string& name) {
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0)
        return refused(errno, "cannot use the folder " + folder + " for the control socket");
    if (!S_ISDIR(info.st_mode))
        return refused(ENOTDIR, folder + " is not a folder; refusing it for the control socket");
    if (info.st_uid != uid)
        return refused(EACCES, "the folder " + folder + " belongs to user " +
                                   std::to_string(info.st_uid) +
                                   "; refusing it for the control socket");
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        snprintf(mode, sizeof mode, "%03o", (unsigned)(info.st_mode & 0777));
        return refused(EACCES, "the folder " + folder + " has mode " + mode +
                                   ", open to other users; refusing it for the control socket");
    }
    return ControlPath{folder + "/" + name, 0, ""};
}

} // namespace

ControlPath controlSocketPath(const std::string& realFolder, uid_t uid) {
    char name[40];
    snprintf(name, sizeof name, "corvane-%016llx", (unsigned long long)pathHash(realFolder));
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string folder = runtime && *runtime ? runtime : "";
    struct stat info {};
    // A runtime folder that is missing or too deep for a socket name falls back to the
    // folder of our own.
    if (folder.empty() || folder.size() + 1 + std::string(name).size() > kMaxSocketPath ||
        (lstat(folder.c_str(), &info) != 0 && errno == ENOENT)) {
        folder = "/tmp/corvane-" + std::to_string(uid);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return refused(errno, "cannot create the folder " + folder + " for the control socket");
    }
    return checkedFolder(folder, uid, name);
}
