#include "OutputFile.h"

#include "OutputName.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

std::unique_ptr<OutputFile> OutputFile::create(int folder, const std::string& name,
                                               std::string& error) {
    static std::atomic<unsigned> counter{0};
    // A few tries: a stale hidden file of an earlier run with the same process id may
    // be in the way.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string temporary = ".yydecode." + std::to_string(getpid()) + "." +
                                std::to_string(counter.fetch_add(1)) + ".part";
        int fd = openat(folder, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0)
            return std::unique_ptr<OutputFile>(new OutputFile(folder, fd, name, temporary));
        if (errno != EEXIST) break;
    }
    error = systemError("cannot create a file in the output folder");
    return nullptr;
}

OutputFile::OutputFile(int folder, int fd, std::string name, std::string temporary)
    : folder(folder), fd(fd), name(std::move(name)), temporary(std::move(temporary)) {}

OutputFile::~OutputFile() {
    if (fd >= 0) {
        close(fd);
        unlinkat(folder, temporary.c_str(), 0);
    }
}

bool OutputFile::writeAt(const unsigned char* data, std::size_t size, std::uint64_t offset,
                         std::string& error) {
    while (size > 0) {
        ssize_t written = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = systemError("write failed");
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool OutputFile::finish(std::uint64_t size, std::string& error) {
    if (size != UINT64_MAX && ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = systemError("cannot set the file length");
        return false;
    }
    int closing = fd;
    fd = -1;
    if (close(closing) != 0) {
        error = systemError("write failed");
        unlinkat(folder, temporary.c_str(), 0);
        return false;
    }
    std::string placed;
    if (!renameToFreeName(folder, temporary, name, placed, error)) {
        unlinkat(folder, temporary.c_str(), 0);
        return false;
    }
    name = placed;
    return true;
}

namespace {

// renameat2 with RENAME_NOREPLACE; where the file system does not offer it, a hard link
// (which never replaces either) and the removal of the old name.
int renameNoReplace(int fromFolder, const char* from, int folder, const char* to) {
    if (renameat2(fromFolder, from, folder, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (linkat(fromFolder, from, folder, to, 0) != 0) return -1;
    unlinkat(fromFolder, from, 0);
    return 0;
}

} // namespace

bool renameToFreeName(int fromFolder, const std::string& from, int folder,
                      const std::string& name, std::string& placed, std::string& error) {
    constexpr int kTries = 1000;
    for (int n = 0; n < kTries; ++n) {
        placed = n == 0 ? name : numberedName(name, n);
        if (renameNoReplace(fromFolder, from.c_str(), folder, placed.c_str()) == 0) return true;
        if (errno != EEXIST) break;
    }
    error = systemError("cannot put the file in place");
    return false;
}
