#include "WholeFile.h"

#include "writeAll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string finalTarget(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

int writeAndSync(int fd, const std::string& text) {
    int error = writeAll(fd, text.data(), text.size());
    if (error) return error;
    return fsync(fd) == 0 ? 0 : errno;
}

} // namespace

int readWholeFile(const std::string& path, std::string& text) {
    text.clear();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    // A pipe or a device in a settings file's place would hold the caller, or never end.
    struct stat info {};
    int error = fstat(fd, &info) != 0   ? errno
                : S_ISREG(info.st_mode) ? 0
                : S_ISDIR(info.st_mode) ? EISDIR
                                        : EINVAL;
    char chunk[16384];
    while (error == 0) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        if (text.size() + (size_t)n > kWholeFileLimit) {
            error = EFBIG;
            break;
        }
        text.append(chunk, (size_t)n);
    }
    close(fd);
    if (error != 0) text.clear();
    return error;
}

int writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string target = finalTarget(path);
    std::string temporary = target + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return errno;
    struct stat old;
    mode_t mode = stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
    int error = fchmod(fd, mode) == 0 ? writeAndSync(fd, text) : errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    return error;
}
