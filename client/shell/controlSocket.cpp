#include "controlSocket.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Every send waits at most this long for the socket.
const int kSendWaitMs = 15000;

// False when `path` does not fit (ENAMETOOLONG).
bool unixAddress(const char* path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    strcpy(address.sun_path, path);
    return true;
}

int closeKeepingErrno(int fd) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
}

} // namespace

int sock_listen(const char* path, int backlog) {
    sockaddr_un address;
    if (!unixAddress(path, address)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (bind(fd, (sockaddr*)&address, sizeof address) != 0) return closeKeepingErrno(fd);
    if (listen(fd, backlog) != 0) {
        unlink(path);
        return closeKeepingErrno(fd);
    }
    return fd;
}

int sock_accept(int listener) {
    if (listener < 0) return -1;
    int fd;
    do {
        fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && (errno == EINTR || errno == ECONNABORTED));
    return fd;
}

int sock_connect(const char* path) {
    sockaddr_un address;
    if (!unixAddress(path, address)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    printf("socket OK\n");
    int rc;
    do {
        rc = connect(fd, (sockaddr*)&address, sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return closeKeepingErrno(fd);
    printf("connect OK\n");
    return fd;
}

int sock_close(int socket) {
    return socket == -1 ? 0 : close(socket);
}

long sock_peer_uid(int socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return -1;
    return (long)credentials.uid;
}

int sock_select(int socket, int mode, int milliseconds) {
    if (socket < 0) return -1;
    pollfd entry{socket, 0, 0};
    entry.events = mode == 0 ? POLLIN : mode == 2 ? POLLOUT : (POLLIN | POLLOUT);
    int rc;
    do {
        rc = poll(&entry, 1, milliseconds > 0 ? milliseconds : -1);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? -1 : rc;
}

int sock_send(int socket, const char* data, size_t length, size_t* sent) {
    *sent = 0;
    while (*sent < length) {
        if (sock_select(socket, 2, kSendWaitMs) != 1) return -1;
        ssize_t count = send(socket, data + *sent, length - *sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        *sent += (size_t)count;
    }
    return (int)*sent;
}

int sock_recv(int socket, char* buffer, size_t size, int milliseconds) {
    int ready = sock_select(socket, 0, milliseconds);
    if (ready <= 0) return ready;
    ssize_t count;
    do {
        count = recv(socket, buffer, size, 0);
    } while (count < 0 && errno == EINTR);
    return (int)count;
}
