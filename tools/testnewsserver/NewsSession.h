// One client connection of the test news server: greeting, AUTHINFO, ARTICLE, QUIT,
// and the faults the options ask for. Runs on its own thread; every wait is a poll in
// short steps that ends when the server stops.
#pragma once
#include "ArticleSpool.h"
#include "CommandLog.h"
#include "CutPlan.h"
#include "NewsServerOptions.h"
#include "ServerConnection.h"
#include "tlsServerContext.h"

#include <atomic>
#include <string>

struct NewsServerContext {
    const NewsServerOptions& options;
    const ArticleSpool& spool;
    CommandLog& log;
    CutPlan& cuts;
    const std::atomic<bool>& stopping;
    const TlsServerContext* tls; // null: plain NNTP
};

class NewsSession {
  public:
    // Takes ownership of the connected socket `fd`; `number` names it in the log.
    NewsSession(int fd, int number, NewsServerContext& context);
    ~NewsSession();
    NewsSession(const NewsSession&) = delete;
    NewsSession& operator=(const NewsSession&) = delete;

    // Serves the connection until QUIT, the client closes, a fault ends it, or the
    // server stops.
    void run();

  private:
    // False when the connection is to end.
    bool handle(const std::string& line);
    bool handleAuthinfo(const std::string& argument);
    bool handleArticle(const std::string& argument, bool bodyOnly);
    bool answer(const std::string& line);
    // Reads one command line without its CRLF; false on close, stop or an over-long line.
    bool readLine(std::string& line);
    // Sends everything, waiting in short steps; false on error or stop.
    bool sendAll(const char* data, size_t size);
    // Reads and drops whatever comes until the client closes or the server stops.
    void keepSilent();
    // Sleeps up to `ms` in short steps; false when stopping.
    bool pause(int ms);

    int fd;
    ServerConnection connection; // plain, or TLS with --tls
    bool cutShort = false;          // a transfer was cut: the end is not announced
    int number;
    NewsServerContext& context;
    std::string pending;
    std::string givenUser;
    bool authenticated = false;
    std::string answerBuffer;
    std::string fileBuffer;
};
