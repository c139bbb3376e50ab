// A small HTTP/1.0 server (or HTTPS, given a certificate) on 127.0.0.1 for the tests:
// one request per connection,
// answers from fixture files chosen by a route table, records every request it
// receives byte for byte, and can misbehave on purpose (silence, delays, answers cut
// into small writes, truncated answers).
#pragma once
#include "ConnectionThreads.h"
#include "HttpResponseBuilder.h"
#include "RouteTable.h"
#include "ServerConnection.h"
#include "tlsServerContext.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

struct TestWebServerOptions {
    int port = 0; // 0: any free port
    std::string root = ".";
    std::string logFile;       // every request received is appended here, unchanged
    bool silent = false;       // never answer anything
    int delayMs = 0;           // wait before answering
    int chunkSize = 0;         // write answers in pieces of this size (0: one write)
    int pauseMs = 0;           // pause between those pieces
    int lifetimeSeconds = 600; // the server ends by itself after this long
    std::string tlsCertificate, tlsKey; // PEM files: HTTPS on every connection
};

class TestWebServer {
  public:
    TestWebServer(TestWebServerOptions options, RouteTable routes);
    ~TestWebServer();

    // Binds 127.0.0.1 and listens; returns the port, or -1 with a line on stderr.
    int listenOn();
    // Serves until `stopFd` becomes readable or the lifetime has passed, then closes
    // every connection and returns.
    void serve(int stopFd);

  private:
    void handleConnection(ServerConnection& connection);
    // Reads one request: header up to its blank line, then Content-Length body bytes,
    // then whatever else arrives at once (the trailing CRLFs of a form post).
    bool readRequest(ServerConnection& connection, std::string& raw);
    void recordRequest(const std::string& raw);
    void sendAnswer(ServerConnection& connection, const std::string& answer, const Route& route);
    void keepSilent(ServerConnection& connection);
    // Sleeps up to `ms`, in small steps so that a stop is seen; false when stopping.
    bool pause(int ms);

    TestWebServerOptions options;
    RouteTable routes;
    HttpResponseBuilder builder;
    std::unique_ptr<TlsServerContext> tls; // with a certificate: every connection is HTTPS
    int listenFd = -1;
    std::atomic<bool> stopping{false};
    std::mutex logLock;
    ConnectionThreads connections;
};
