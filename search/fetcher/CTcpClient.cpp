#include "CTcpClient.h"

#include "CThreadSingle.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

TWaitBounds::TWaitBounds(int waitSeconds, int deadlineSeconds)
    : waitSeconds(waitSeconds),
      deadline(deadlineSeconds > 0 ? Clock::now() + std::chrono::seconds(deadlineSeconds)
                                   : Clock::time_point::max()) {}

int TWaitBounds::nextWaitMs() const {
    long long limit = waitSeconds > 0 ? waitSeconds * 1000LL : -1;
    if (deadline != Clock::time_point::max()) {
        // Rounded up: a wait that ends at the deadline must find it passed.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) left = 0;
        if (limit < 0 || left < limit) limit = left;
    }
    return (int)limit;
}

bool TWaitBounds::deadlinePassed() const {
    return deadline != Clock::time_point::max() && Clock::now() >= deadline;
}

int CTcpClient::select(int socket, TSelect mode, const TWaitBounds& bounds) {
    short events = (short)(mode == waitReadable   ? POLLIN
                           : mode == waitWritable ? POLLOUT
                                                  : POLLIN | POLLOUT);
    pollfd fds[2] = {{socket, events, 0}, {CThreadSingle::wakeDescriptor(), POLLIN, 0}};
    for (;;) {
        int ready = poll(fds, 2, bounds.nextWaitMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents) return -2;
        return 0;
    }
}

int CTcpClient::connect(const char* host, int port, const TWaitBounds& bounds) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (!host || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return -1;
    sockaddr_in address;
    memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons((uint16_t)port);

    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (sock < 0) return -1;
    if (::connect(sock, (sockaddr*)&address, sizeof address) != 0) {
        int error = errno;
        socklen_t size = sizeof error;
        if (error != EINPROGRESS || select(sock, waitWritable, bounds) != 0 ||
            getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            ::close(sock);
            return -1;
        }
    }
    return sock;
}

int CTcpClient::send(int socket, const char* data, int length, const TWaitBounds& bounds) {
    size_t total = length > 0 ? (size_t)length : strlen(data);
    size_t sent = 0;
    while (sent < total) {
        if (select(socket, waitWritable, bounds) != 0) return -1;
        ssize_t n = ::send(socket, data + sent, total - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return -2;
        sent += (size_t)n;
    }
    return 0;
}

int CTcpClient::recv(int socket, char* buffer, int size, const TWaitBounds& bounds) {
    for (;;) {
        if (select(socket, waitReadable, bounds) != 0) return -1;
        ssize_t n = ::recv(socket, buffer, (size_t)size, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n < 0) return -1;
        buffer[n] = 0;
        return (int)n;
    }
}

int CTcpClient::close(int socket) {
    return ::close(socket);
}
