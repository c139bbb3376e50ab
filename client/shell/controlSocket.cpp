#include "controlSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Every send and receive waits at most this long for the socket.
const int kWaitSeconds = 15;

} // namespace

int sock_listen(int port, int backlog) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Loopback only: every sender is a start of this program on the same machine.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, (sockaddr*)&address, sizeof address) != 0 || listen(fd, backlog) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
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

int sock_connect(const char* host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) {
        errno = EHOSTUNREACH;
        return -1;
    }
    printf("hostname OK\n");
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0) {
        freeaddrinfo(found);
        return -1;
    }
    printf("socket OK\n");
    int rc;
    do {
        rc = connect(fd, found->ai_addr, found->ai_addrlen);
    } while (rc != 0 && errno == EINTR);
    freeaddrinfo(found);
    if (rc != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    printf("connect OK\n");
    return fd;
}

int sock_close(int socket) {
    return socket == -1 ? 0 : close(socket);
}

int sock_select(int socket, int mode, int seconds) {
    if (socket < 0) return -1;
    pollfd entry{socket, 0, 0};
    entry.events = mode == 0 ? POLLIN : mode == 2 ? POLLOUT : (POLLIN | POLLOUT);
    int rc;
    do {
        rc = poll(&entry, 1, seconds > 0 ? seconds * 1000 : -1);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? -1 : rc;
}

int sock_send(int socket, const char* data, size_t length, size_t* sent) {
    *sent = 0;
    while (*sent < length) {
        if (sock_select(socket, 2, kWaitSeconds) != 1) return -1;
        ssize_t count = send(socket, data + *sent, length - *sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        *sent += (size_t)count;
    }
    return (int)*sent;
}

int sock_recv(int socket, char* buffer, size_t size) {
    int ready = sock_select(socket, 0, kWaitSeconds);
    if (ready <= 0) return ready;
    ssize_t count;
    do {
        count = recv(socket, buffer, size, 0);
    } while (count < 0 && errno == EINTR);
    return (int)count;
}
