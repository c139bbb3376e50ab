#include "TestNewsServer.h"

#include "NewsSession.h"

#include <arpa/inet.h>
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
      cuts(options.cutAfter, options.cutIds, options.cutTimes) {}

TestNewsServer::~TestNewsServer() {
    stopping = true;
    reapFinished(true);
    if (listenFd >= 0) close(listenFd);
}

int TestNewsServer::listenOn() {
    if (!log.usable()) {
        fprintf(stderr, "testnewsserver: cannot open log %s\n", options.logFile.c_str());
        return -1;
    }
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) {
        perror("testnewsserver: socket");
        return -1;
    }
    int one = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)options.port);
    if (bind(listenFd, (sockaddr*)&address, sizeof address) != 0 || listen(listenFd, 128) != 0) {
        perror("testnewsserver: bind");
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(listenFd, (sockaddr*)&address, &length);
    return ntohs(address.sin_port);
}

void TestNewsServer::serve(int stopFd) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    while (std::chrono::steady_clock::now() < end) {
        pollfd waits[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int ready = poll(waits, 2, kStepMs);
        if (ready < 0 && errno != EINTR) break;
        if (waits[1].revents) break;
        if (waits[0].revents & POLLIN) accept();
        reapFinished(false);
    }
    stopping = true;
    reapFinished(true);
}

void TestNewsServer::accept() {
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (reapFinished(false) >= (size_t)options.maxConnections) {
        ssize_t ignored = send(fd, kTooMany, sizeof kTooMany - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        (void)ignored;
        log.write(++connectionCount, "REFUSED too many connections");
        close(fd);
        return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto connection = std::make_unique<Connection>();
    Connection* raw = connection.get();
    int number = ++connectionCount;
    connection->thread = std::thread([this, fd, number, raw] {
        NewsServerContext context{options, spool, log, cuts, stopping};
        NewsSession(fd, number, context).run();
        raw->done = true;
    });
    connections.push_back(std::move(connection));
}

size_t TestNewsServer::reapFinished(bool all) {
    for (auto it = connections.begin(); it != connections.end();) {
        if (all || (*it)->done) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
    return connections.size();
}
