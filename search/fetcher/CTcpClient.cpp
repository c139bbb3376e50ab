#include "CTcpClient.h"

#include "CThreadSingle.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

int CTcpClient::select(int socket, TSelect mode, int waitSeconds) {
    short events = (short)(mode == waitReadable   ? POLLIN
                           : mode == waitWritable ? POLLOUT
                                                  : POLLIN | POLLOUT);
    pollfd fds[2] = {{socket, events, 0}, {CThreadSingle::wakeDescriptor(), POLLIN, 0}};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    for (;;) {
        int timeout = -1;
        if (waitSeconds > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            timeout = left.count() > 0 ? (int)left.count() : 0;
        }
        int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents) return -2;
        return 0;
    }
}

int CTcpClient::connect(const char* host, int port, int waitSeconds) {
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
        if (error != EINPROGRESS || select(sock, waitWritable, waitSeconds) != 0 ||
            getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            ::close(sock);
            return -1;
        }
    }
    return sock;
}

int CTcpClient::send(int socket, const char* data, int length, int waitSeconds) {
    size_t total = length > 0 ? (size_t)length : strlen(data);
    size_t sent = 0;
    while (sent < total) {
        if (select(socket, waitWritable, waitSeconds) != 0) return -1;
        ssize_t n = ::send(socket, data + sent, total - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return -2;
        sent += (size_t)n;
    }
    return 0;
}

int CTcpClient::recv(int socket, char* buffer, int size, int waitSeconds) {
    for (;;) {
        if (select(socket, waitReadable, waitSeconds) != 0) return -1;
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
