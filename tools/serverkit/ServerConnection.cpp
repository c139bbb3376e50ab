#include "ServerConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

bool ServerConnection::startTls(const TlsServerContext& context, int timeoutMs,
                                std::string& failure) {
    tls = context.accept(fd, timeoutMs, failure);
    return tls != nullptr;
}

int ServerConnection::receive(char* buffer, size_t size, int ms) {
    if (tls) {
        int n = tls->read(buffer, size, ms);
        return n == TlsStream::kTimedOut ? kNothingYet : n;
    }
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, ms);
    if (ready < 0) return errno == EINTR ? kNothingYet : -1;
    if (ready == 0) return kNothingYet;
    ssize_t n = recv(fd, buffer, size, 0);
    return n < 0 ? -1 : (int)n;
}

long ServerConnection::send(const char* data, size_t size, int ms) {
    if (tls) return tls->write(data, size, ms);
    // Send at once; wait only when the socket is full, so a bulk sender pays no poll
    // per chunk.
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return n;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, ms) < 0 && errno != EINTR) return -1;
    return 0;
}

void ServerConnection::finishSending() {
    if (tls) tls->closeNotify();
    shutdown(fd, SHUT_WR);
}
