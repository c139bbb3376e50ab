#include "cTCPclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

const int kChunk = 256 * 1024;

// poll() on one descriptor, restarted after signals with the time that is left;
// `ms` < 0 waits without limit. The poll result.
int pollFor(int fd, short events, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, ms);
        if (ready >= 0 || errno != EINTR) return ready;
        if (ms < 0) continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        ms = left.count() > 0 ? (int)left.count() : 0;
    }
}

} // namespace

cTCPclient::cTCPclient(int socket) : sock(socket < 0 ? -1 : socket) {}

cTCPclient::~cTCPclient() {
    close();
}

int cTCPclient::connect(const char* host, int port, int timeout, int connectNow) {
    if (host) hostname = host;
    if (port) hostport = (unsigned short)port;
    if (timeout) seconds = timeout;
    return connectNow ? connect() : 0;
}

int cTCPclient::connect() {
    close();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostname.c_str(), nullptr, &hints, &found) != 0 || !found) return -1;
    printf("hostname OK\n");
    sockaddr_in address{};
    memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(hostport);

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    printf("socket OK\n");
    // Owned before the connect, so that `interrupt` can break off a slow connect too.
    setSocket(fd);
    if (connectWithin(fd, &address, sizeof address) != 0) {
        close();
        return -1;
    }
    printf("connect OK\n");
    return 0;
}

int cTCPclient::connectWithin(int fd, const void* address, unsigned length) {
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, static_cast<const sockaddr*>(address), length);
    if (rc != 0 && errno == EINPROGRESS) {
        int ready = pollFor(fd, POLLOUT, seconds ? seconds * 1000 : -1);
        int error = 0;
        socklen_t size = sizeof error;
        if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && !error)
            rc = 0;
        else if (error)
            errno = error;
        else if (ready == 0)
            errno = ETIMEDOUT;
    }
    fcntl(fd, F_SETFL, flags);
    return rc == 0 ? 0 : -1;
}

int cTCPclient::connect(unsigned socket) {
    close();
    if ((int)socket < 0) return -1;
    setSocket((int)socket);
    return 0;
}

void cTCPclient::setSocket(int fd) {
    std::lock_guard<std::mutex> guard(socketLock);
    sock = fd;
}

int cTCPclient::close() {
    std::lock_guard<std::mutex> guard(socketLock);
    int fd = sock.exchange(-1);
    if (fd < 0) return -1;
    ::close(fd);
    return 0;
}

void cTCPclient::interrupt() {
    std::lock_guard<std::mutex> guard(socketLock);
    int fd = sock.load();
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

int cTCPclient::select(int mode, int waitSeconds) {
    static const short events[] = {POLLIN, POLLIN | POLLOUT, POLLOUT};
    int fd = sock.load();
    if (fd < 0) return -1;
    if (mode < 0 || mode > 2) {
        close();
        return -1;
    }
    if (pollFor(fd, events[mode], waitSeconds ? waitSeconds * 1000 : -1) > 0) return 0;
    close();
    return -1;
}

int cTCPclient::send(const char* data, int length) {
    size_t size = length ? (size_t)length : strlen(data);
    size_t done = 0;
    while (done < size) {
        if (select(2, seconds) != 0) return -3;
        ssize_t n = ::send(sock.load(), data + done, size - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close();
            return -2;
        }
        done += (size_t)n;
    }
    return 0;
}

int cTCPclient::recv(char* buffer, int size) {
    buffer[0] = 0;
    if (select(0, seconds) != 0) return -1;
    ssize_t n;
    do {
        n = ::recv(sock.load(), buffer, (size_t)size, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        close();
        return -1;
    }
    buffer[n] = 0;
    return (int)n;
}

int cTCPclient::recvE(char* buffer, int length, char end) {
    char byte[2];
    for (int count = 0; count < length;) {
        if (recv(byte, 1) != 1) return -1;
        buffer[count++] = byte[0];
        if (byte[0] == end) return count;
    }
    return -1;
}

int cTCPclient::recvE(std::string* data, const char* terminator, std::atomic<int>* counter,
                      std::atomic<int>* resetFlag, size_t limit) {
    data->clear();
    if (!chunk) chunk.reset(new char[kChunk + 1]);
    size_t endLength = strlen(terminator);
    for (;;) {
        int n = recv(chunk.get(), kChunk);
        if (n < 0) return -1;
        if (data->size() + (size_t)n > limit) {
            close();
            return -1;
        }
        data->append(chunk.get(), (size_t)n);
        if (counter) {
            if (resetFlag && resetFlag->exchange(0))
                *counter = n;
            else
                *counter += n;
        }
        // Only the tail is compared: the terminator may have come split over two chunks.
        if (data->size() >= endLength &&
            memcmp(data->data() + data->size() - endLength, terminator, endLength) == 0)
            return (int)data->size();
    }
}
