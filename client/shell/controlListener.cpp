#include "controlListener.h"

#include "controlSocket.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Starts of one user check and replace sockets one at a time, so two new instances
// never both find the same stale socket and both listen. The lock is a file of our own
// beside the sockets, which nothing else locks.
class FolderLock {
  public:
    explicit FolderLock(const std::string& path) {
        std::string lockFile = path.substr(0, path.rfind('/') + 1) + "corvane.lock";
        fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) flock(fd, LOCK_EX);
    }
    ~FolderLock() {
        if (fd >= 0) close(fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd = -1;
};

// A socket file of ours that nobody listens on any more.
bool isStale(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != geteuid())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    bool refused = connect(probe, (sockaddr*)&address, sizeof address) != 0 && errno == ECONNREFUSED;
    close(probe);
    return refused;
}

} // namespace

ControlListener claimControlSocket(const std::string& path, int backlog) {
    FolderLock lock(path);
    ControlListener claim;
    claim.fd = sock_listen(path.c_str(), backlog);
    if (claim.fd < 0 && errno == EADDRINUSE && isStale(path)) {
        fprintf(stderr, "corvane: replacing the stale control socket %s\n", path.c_str());
        unlink(path.c_str());
        claim.fd = sock_listen(path.c_str(), backlog);
    }
    if (claim.fd < 0) return claim;
    // The folder already keeps others out; the socket itself does too.
    chmod(path.c_str(), 0600);
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        claim.device = info.st_dev;
        claim.inode = info.st_ino;
    }
    return claim;
}

void releaseControlSocket(const std::string& path, const ControlListener& listener) {
    FolderLock lock(path);
    struct stat info {};
    if (listener.inode != 0 && stat(path.c_str(), &info) == 0 && info.st_dev == listener.device &&
        info.st_ino == listener.inode)
        unlink(path.c_str());
}
