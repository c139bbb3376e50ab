// A small NNTP server on 127.0.0.1 for tests and benchmarks: serves the articles of a
// spool folder to many connections at once, one thread each, and misbehaves on
// purpose when asked (missing articles, cut transfers, silence, delays, refusals).
#pragma once
#include "ArticleSpool.h"
#include "CommandLog.h"
#include "ConnectionThreads.h"
#include "CutPlan.h"
#include "NewsServerOptions.h"
#include "tlsServerContext.h"

#include <atomic>
#include <memory>

class TestNewsServer {
  public:
    explicit TestNewsServer(NewsServerOptions options);
    ~TestNewsServer();
    TestNewsServer(const TestNewsServer&) = delete;
    TestNewsServer& operator=(const TestNewsServer&) = delete;

    // Binds 127.0.0.1 and listens; returns the port, or -1 with a line on stderr.
    int listenOn();
    // Serves until `stopFd` becomes readable or the lifetime has passed, then ends
    // every connection and returns.
    void serve(int stopFd);

  private:
    void accept();

    NewsServerOptions options;
    ArticleSpool spool;
    CommandLog log;
    CutPlan cuts;
    std::unique_ptr<TlsServerContext> tls; // with --tls
    std::atomic<bool> stopping{false};
    int listenFd = -1;
    int connectionCount = 0;
    ConnectionThreads connections;
};
