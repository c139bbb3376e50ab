#include "writeAll.h"

#include <unistd.h>

#include <cerrno>

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : ENOSPC;
        data += written;
        size -= (std::size_t)written;
    }
    return 0;
}
