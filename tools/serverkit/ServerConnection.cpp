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
    pollfd p{fd, POLLOUT, 0};
    int ready = poll(&p, 1, ms);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (ready == 0) return 0;
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : -1;
    return n;
}

void ServerConnection::finishSending() {
    if (tls) tls->closeNotify();
    shutdown(fd, SHUT_WR);
}
