#include "TestWebServer.h"

#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <strings.h>

namespace {

const size_t kMaxHeader = 64 * 1024;
const size_t kMaxBody = 8 * 1024 * 1024;
const int kRequestSeconds = 10;
const size_t kMaxConnections = 128;
const int kStepMs = 20;
const int kHandshakeMs = 10000;

using Clock = std::chrono::steady_clock;

// Content-Length of a request header, 0 when absent or unreadable.
size_t contentLength(const std::string& header) {
    size_t pos = 0;
    while ((pos = header.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        const char name[] = "content-length:";
        if (strncasecmp(header.c_str() + pos, name, sizeof name - 1) == 0)
            return strtoul(header.c_str() + pos + sizeof name - 1, nullptr, 10);
    }
    return 0;
}

} // namespace

TestWebServer::TestWebServer(TestWebServerOptions options, RouteTable routes)
    : options(std::move(options)), routes(std::move(routes)), builder(this->options.root) {
    if (!this->options.tlsCertificate.empty())
        tls = std::make_unique<TlsServerContext>(this->options.tlsCertificate,
                                                 this->options.tlsKey);
}

TestWebServer::~TestWebServer() {
    stopping = true;
    connections.reap(true);
    if (listenFd >= 0) close(listenFd);
}

int TestWebServer::listenOn() {
    if (tls && !tls->usable()) {
        fprintf(stderr, "testwebserver: %s\n", tls->problem().c_str());
        return -1;
    }
    return listenOnLoopback(options.port, "testwebserver", listenFd);
}

void TestWebServer::serve(int stopFd) {
    auto end = Clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    while (!stopping && Clock::now() < end) {
        connections.reap(false);
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(fds, 2, 200) <= 0) continue;
        if (fds[1].revents) break;
        if (connections.reap(false) >= kMaxConnections) {
            pause(kStepMs); // full: let a connection finish before taking the next
            continue;
        }
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // Answers sent in pieces must leave in those pieces.
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        connections.start([this, fd] {
            {
                ServerConnection connection(fd);
                handleConnection(connection);
            }
            close(fd);
        });
    }
    stopping = true;
    connections.reap(true);
}

bool TestWebServer::pause(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!stopping) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return true;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<long>(left.count(), kStepMs)));
    }
    return false;
}

bool TestWebServer::readRequest(ServerConnection& connection, std::string& raw) {
    auto end = Clock::now() + std::chrono::seconds(kRequestSeconds);
    size_t wanted = 0; // total size once the header has been seen
    char buffer[8192];
    size_t headerEnd = std::string::npos;
    while (!stopping && Clock::now() < end) {
        if (headerEnd != std::string::npos && raw.size() >= wanted) break;
        int n = connection.receive(buffer, sizeof buffer, kStepMs);
        if (n == ServerConnection::kNothingYet) continue;
        if (n <= 0) break;
        raw.append(buffer, (size_t)n);
        if (headerEnd == std::string::npos) {
            size_t blank = raw.find("\r\n\r\n");
            if (blank == std::string::npos) {
                if (raw.size() > kMaxHeader) break;
                continue;
            }
            headerEnd = blank + 4;
            wanted = headerEnd + std::min(contentLength(raw.substr(0, headerEnd)), kMaxBody);
        }
    }
    if (headerEnd == std::string::npos || raw.size() < wanted) return false;
    // Bytes sent after the announced body in the same breath (a form post ends with
    // CRLFs that Content-Length does not count) belong to the recorded request.
    while (raw.size() < wanted + kMaxHeader) {
        int n = connection.receive(buffer, sizeof buffer, 50);
        if (n <= 0) break;
        raw.append(buffer, (size_t)n);
    }
    return true;
}

void TestWebServer::recordRequest(const std::string& raw) {
    if (options.logFile.empty()) return;
    std::lock_guard<std::mutex> guard(logLock);
    std::ofstream log(options.logFile, std::ios::binary | std::ios::app);
    log.write(raw.data(), (std::streamsize)raw.size());
}

void TestWebServer::keepSilent(ServerConnection& connection) {
    char buffer[4096];
    while (!stopping) {
        int n = connection.receive(buffer, sizeof buffer, kStepMs);
        if (n != ServerConnection::kNothingYet && n <= 0) return; // the client gave up
    }
}

void TestWebServer::sendAnswer(ServerConnection& connection, const std::string& answer,
                               const Route& route) {
    int delay = route.delayMs >= 0 ? route.delayMs : options.delayMs;
    int chunk = route.chunkSize >= 0 ? route.chunkSize : options.chunkSize;
    int pauseMs = route.pauseMs >= 0 ? route.pauseMs : options.pauseMs;
    size_t total = answer.size();
    if (route.truncateAt >= 0 && (size_t)route.truncateAt < total) total = (size_t)route.truncateAt;
    if (delay > 0 && !pause(delay)) return;
    size_t sent = 0;
    while (sent < total && !stopping) {
        size_t piece = chunk > 0 ? std::min((size_t)chunk, total - sent) : total - sent;
        if (sent > 0 && chunk > 0 && pauseMs > 0 && !pause(pauseMs)) return;
        size_t done = 0;
        while (done < piece) {
            long n = connection.send(answer.data() + sent + done, piece - done, 1000);
            if (n < 0 || stopping) return;
            done += (size_t)n;
        }
        sent += piece;
    }
    // Half-close and let the client read to the end before the socket goes, so it sees
    // a clean end rather than a reset.
    connection.finishSending();
    char buffer[4096];
    auto end = Clock::now() + std::chrono::seconds(2);
    while (!stopping && Clock::now() < end) {
        int n = connection.receive(buffer, sizeof buffer, kStepMs);
        if (n != ServerConnection::kNothingYet && n <= 0) return;
    }
}

void TestWebServer::handleConnection(ServerConnection& connection) {
    std::string failure;
    if (tls && !connection.startTls(*tls, kHandshakeMs, failure)) {
        fprintf(stderr, "testwebserver: TLS handshake failed: %s\n", failure.c_str());
        return;
    }
    std::string raw;
    bool complete = readRequest(connection, raw);
    recordRequest(raw);
    if (options.silent) return keepSilent(connection);
    if (!complete) {
        fprintf(stderr, "testwebserver: incomplete request of %zu bytes\n", raw.size());
        return;
    }
    std::string line = raw.substr(0, raw.find("\r\n"));
    size_t first = line.find(' '), second = line.rfind(' ');
    if (first == std::string::npos || second <= first) {
        fprintf(stderr, "testwebserver: malformed request line: %s\n", line.c_str());
        Route bad;
        sendAnswer(connection, "HTTP/1.0 400 Bad Request\r\nConnection: close\r\n\r\n", bad);
        return;
    }
    std::string method = line.substr(0, first);
    std::string target = line.substr(first + 1, second - first - 1);
    std::optional<Route> route = routes.match(method, target);
    if (!route) route = builder.staticRoute(target);
    if (!route) {
        fprintf(stderr, "testwebserver: %s %s -> 404\n", method.c_str(), target.c_str());
        sendAnswer(connection, HttpResponseBuilder::notFound(), Route());
        return;
    }
    fprintf(stderr, "testwebserver: %s %s -> %s\n", method.c_str(), target.c_str(),
            route->file.empty() ? "-" : route->file.c_str());
    if (route->silent) return keepSilent(connection);
    sendAnswer(connection, builder.build(*route), *route);
}
