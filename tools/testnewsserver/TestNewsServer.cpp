#include "TestNewsServer.h"

#include "LoopbackListener.h"
#include "NewsSession.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {
const int kStepMs = 200;
const char kTooMany[] = "400 too many connections\r\n";
} // namespace

TestNewsServer::TestNewsServer(NewsServerOptions options)
    : options(options), spool(options.spool, options.missing), log(options.logFile),
      cuts(options.cutAfter, options.cutIds, options.cutTimes) {
    if (!options.tlsCertificate.empty())
        tls = std::make_unique<TlsServerContext>(options.tlsCertificate, options.tlsKey);
}

TestNewsServer::~TestNewsServer() {
    stopping = true;
    connections.reap(true);
    if (listenFd >= 0) close(listenFd);
}

int TestNewsServer::listenOn() {
    if (!log.usable()) {
        fprintf(stderr, "testnewsserver: cannot open log %s\n", options.logFile.c_str());
        return -1;
    }
    if (tls && !tls->usable()) {
        fprintf(stderr, "testnewsserver: %s\n", tls->problem().c_str());
        return -1;
    }
    return listenOnLoopback(options.port, "testnewsserver", listenFd);
}

void TestNewsServer::serve(int stopFd) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    while (std::chrono::steady_clock::now() < end) {
        pollfd waits[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int ready = poll(waits, 2, kStepMs);
        if (ready < 0 && errno != EINTR) break;
        if (waits[1].revents) break;
        if (waits[0].revents & POLLIN) accept();
        connections.reap(false);
    }
    stopping = true;
    connections.reap(true);
}

void TestNewsServer::accept() {
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (connections.reap(false) >= (size_t)options.maxConnections) {
        // Over TLS the refusal would need a handshake first: the line is only closed.
        if (!tls) {
            ssize_t ignored = send(fd, kTooMany, sizeof kTooMany - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            (void)ignored;
        }
        log.write(++connectionCount, "REFUSED too many connections");
        close(fd);
        return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int number = ++connectionCount;
    connections.start([this, fd, number] {
        NewsServerContext context{options, spool, log, cuts, stopping, tls.get()};
        NewsSession(fd, number, context).run();
    });
}
