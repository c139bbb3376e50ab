#include "RarEntry.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <sys/stat.h>

RarEntry fileEntry(const std::string& path, const std::string& nameAs) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw std::runtime_error("'" + path + "' is not a plain file");
    RarEntry entry;
    std::size_t slash = path.find_last_of('/');
    entry.name = !nameAs.empty()              ? nameAs
                 : slash == std::string::npos ? path
                                              : path.substr(slash + 1);
    entry.path = path;
    entry.mtime = info.st_mtime;
    entry.mode = S_IFREG | (info.st_mode & 07777);
    return entry;
}

RarEntry bytesEntry(const std::string& name, const std::string& bytes) {
    RarEntry entry;
    entry.name = name;
    entry.bytes = bytes;
    entry.mtime = std::time(nullptr);
    return entry;
}

RarEntry linkEntry(const std::string& name, const std::string& target) {
    RarEntry entry = bytesEntry(name, "");
    entry.linkTarget = target;
    entry.mode = S_IFLNK | 0777;
    return entry;
}
