#include "cTCPclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The read-ahead buffer: a status line and the start of what follows it.
const size_t kAhead = 16 * 1024;
// Least room offered to one receive straight into a text.
const size_t kLeastRoom = 16 * 1024;

// Gives `data` room for a receive after `filled` bytes (never past `limit`). A reused
// text still holds the previous answer's length, which is received into as it is;
// beyond it the text grows in small steps, because every added byte is zero-filled
// first and an answer usually ends close to where the previous one did.
void makeRoom(std::string& data, size_t filled, size_t limit) {
    if (data.size() >= filled + kLeastRoom) return;
    size_t step = std::max(kLeastRoom, filled / 16);
    data.resize(std::min(filled + step, limit));
}

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
    if (getaddrinfo(hostname.c_str(), nullptr, &hints, &found) != 0 || !found)
        return failConnect("host name not found");
    printf("hostname OK\n");
    sockaddr_in address{};
    memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(hostport);

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return failConnect(strerror(errno));
    printf("socket OK\n");
    // Owned before the connect, so that `interrupt` can break off a slow connect too.
    // An interrupt that came while no socket existed yet ends the connect here.
    if (!setSocket(fd)) return failConnect("interrupted");
    if (connectWithin(fd, &address, sizeof address) != 0)
        return failConnect(std::string("connect: ") + strerror(errno));
    printf("connect OK\n");
    if (tlsContext) return startTls();
    failureText[0] = 0;
    return 0;
}

int cTCPclient::startTls() {
    std::string failure;
    std::unique_ptr<TlsStream> stream =
        tlsContext->handshake(sock.load(), hostname, waitMs(), failure);
    if (!stream) {
        printf("TLS to %s:%u refused: %s\n", hostname.c_str(), hostport, failure.c_str());
        return failConnect("TLS: " + failure);
    }
    // The user turned the check off for this server; say so every time.
    if (!tlsContext->options().verify)
        printf("WARNING: TLS to %s:%u without certificate verification%s\n", hostname.c_str(),
               hostport, tlsContext->options().fingerprint.empty() ? "" : " (fingerprint pinned)");
    printf("TLS OK %s\n", stream->description().c_str());
    tls = std::move(stream);
    failureText[0] = 0;
    return 0;
}

int cTCPclient::failConnect(const std::string& reason) {
    close();
    snprintf(failureText, sizeof failureText, "%s", reason.c_str());
    return -1;
}

void cTCPclient::set_tls(std::unique_ptr<TlsClientContext> context) {
    close();
    tlsContext = std::move(context);
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

bool cTCPclient::setSocket(int fd) {
    std::lock_guard<std::mutex> guard(socketLock);
    sock = fd;
    return !interrupted;
}

int cTCPclient::close() {
    std::lock_guard<std::mutex> guard(socketLock);
    int fd = sock.exchange(-1);
    aheadBegin = aheadEnd = 0; // belonged to the old connection
    if (tls) {
        tls->closeNotify();
        tls.reset();
    }
    if (fd < 0) return -1;
    ::close(fd);
    return 0;
}

void cTCPclient::interrupt() {
    std::lock_guard<std::mutex> guard(socketLock);
    interrupted = true;
    int fd = sock.load();
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void cTCPclient::clearInterrupt() {
    std::lock_guard<std::mutex> guard(socketLock);
    interrupted = false;
}

int cTCPclient::select(int mode, int waitSeconds) {
    static const short events[] = {POLLIN, POLLIN | POLLOUT, POLLOUT};
    int fd = sock.load();
    if (fd < 0) return -1;
    if (mode < 0 || mode > 2) {
        close();
        return -1;
    }
    if (mode < 2 && (aheadCount() || (tls && tls->buffered()))) return 0;
    if (pollFor(fd, events[mode], waitSeconds ? waitSeconds * 1000 : -1) > 0) return 0;
    close();
    return -1;
}

int cTCPclient::send(const char* data, int length) {
    size_t size = length ? (size_t)length : strlen(data);
    if (tls) {
        long sent = tls->write(data, size, waitMs());
        if (sent == (long)size) return 0;
        close();
        return sent < 0 ? -2 : -3;
    }
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

int cTCPclient::receive(char* buffer, size_t size) {
    if (tls) {
        // The stream waits itself: a poll of the socket cannot see what OpenSSL holds.
        int n = tls->read(buffer, size, waitMs());
        if (n > 0) return n;
        // A close without close_notify, in an article or not, is a dropped connection.
        close();
        return -1;
    }
    if (select(0, seconds) != 0) return -1;
    ssize_t n;
    do {
        n = ::recv(sock.load(), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        close();
        return -1;
    }
    return (int)n;
}

int cTCPclient::readAhead() {
    if (!ahead) ahead.reset(new char[kAhead]);
    aheadBegin = aheadEnd = 0;
    int n = receive(ahead.get(), kAhead);
    if (n < 0) return -1;
    aheadEnd = (size_t)n;
    return 0;
}

int cTCPclient::recv(char* buffer, int size) {
    buffer[0] = 0;
    if (size <= 0) return -1;
    int n;
    if (aheadCount()) {
        n = (int)std::min(aheadCount(), (size_t)size);
        memcpy(buffer, ahead.get() + aheadBegin, (size_t)n);
        aheadBegin += (size_t)n;
    } else {
        n = receive(buffer, (size_t)size);
        if (n < 0) return -1;
    }
    buffer[n] = 0;
    return n;
}

int cTCPclient::recvE(char* buffer, int length, char end) {
    for (int count = 0; count < length;) {
        if (!aheadCount() && readAhead() != 0) return -1;
        const char* from = ahead.get() + aheadBegin;
        size_t span = std::min(aheadCount(), (size_t)(length - count));
        const char* hit = static_cast<const char*>(memchr(from, end, span));
        size_t take = hit ? (size_t)(hit - from) + 1 : span;
        memcpy(buffer + count, from, take);
        aheadBegin += take;
        count += (int)take;
        if (hit) return count;
    }
    return -1;
}

int cTCPclient::recvE(std::string* data, const char* terminator, std::atomic<int>* counter,
                      std::atomic<int>* resetFlag, size_t limit) {
    const size_t endLength = strlen(terminator);
    size_t filled = 0;
    auto tally = [&](size_t n) {
        if (!counter) return;
        if (resetFlag && resetFlag->exchange(0))
            *counter = (int)n;
        else
            *counter += (int)n;
    };
    // Only the tail is compared: the terminator may have come split over two receives.
    auto ended = [&] {
        return filled >= endLength &&
               memcmp(data->data() + filled - endLength, terminator, endLength) == 0;
    };
    auto fail = [&] {
        data->resize(filled);
        return -1;
    };
    if (aheadCount()) {
        // The answer may end inside what was read ahead; whatever follows stays there.
        const char* from = ahead.get() + aheadBegin;
        const void* hit = memmem(from, aheadCount(), terminator, endLength);
        size_t take =
            hit ? (size_t)(static_cast<const char*>(hit) - from) + endLength : aheadCount();
        if (take > limit) {
            close();
            return fail();
        }
        if (data->size() < take) data->resize(take);
        memcpy(data->data(), from, take);
        aheadBegin += take;
        filled = take;
        tally(take);
        if (hit) {
            data->resize(filled);
            return (int)filled;
        }
    }
    for (;;) {
        if (filled >= limit) {
            close();
            return fail();
        }
        makeRoom(*data, filled, limit);
        int n = receive(data->data() + filled, std::min(data->size(), limit) - filled);
        if (n < 0) return fail();
        filled += (size_t)n;
        tally((size_t)n);
        if (ended()) {
            data->resize(filled);
            return (int)filled;
        }
    }
}
