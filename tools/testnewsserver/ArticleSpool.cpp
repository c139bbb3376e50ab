#include "ArticleSpool.h"

#include "DotStuffing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads a whole regular file into `data`; false on any error.
bool readWhole(const std::string& path, std::string& data) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        data.resize((size_t)info.st_size);
        size_t done = 0;
        while (ok && done < data.size()) {
            ssize_t n = read(fd, data.data() + done, data.size() - done);
            if (n <= 0)
                ok = false;
            else
                done += (size_t)n;
        }
    }
    close(fd);
    return ok;
}

} // namespace

ArticleSpool::ArticleSpool(std::string folder, std::set<std::string> missing)
    : folder(std::move(folder)), missing(std::move(missing)) {}

bool ArticleSpool::isSafeId(const std::string& id) {
    return !id.empty() && id[0] != '.' && id.find('/') == std::string::npos &&
           id.find('\0') == std::string::npos;
}

bool ArticleSpool::appendStuffed(const std::string& id, std::string& out,
                                 std::string& scratch) const {
    if (!isSafeId(id) || missing.count(id)) return false;
    if (!readWhole(folder + "/" + id, scratch)) return false;
    out.reserve(out.size() + scratch.size() + scratch.size() / 64 + 16);
    appendDotStuffed(out, scratch.data(), scratch.size());
    // A file without a final line end still ends its last line before the end marker.
    if (scratch.size() < 2 || scratch.compare(scratch.size() - 2, 2, "\r\n") != 0)
        out.append("\r\n");
    return true;
}
