#include "FetchmillFixture.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace {

const std::string kCommonLines = "User-Agent: Miravel/3.00\r\n"
                                 "Accept-Language: en-us,en;q=0.5\r\n"
                                 "Accept-Encoding: gzip,deflate\r\n"
                                 "Accept-Charset: utf-8\r\n"
                                 "Connection: close\r\n";

} // namespace

TEST_F(FetchmillTest, SocketLayerNeedsNoStartOrEnd) {
    EXPECT_EQ(CFetchmill::wsastart(), 0);
    EXPECT_EQ(CFetchmill::wsaclean(), 0);
    EXPECT_EQ(CFetchmill::FetchmillRunStatic(nullptr), 6u);
}

TEST_F(FetchmillTest, SendsGetAndPostRequestsExactly) {
    auto server = startServer({"* /* -> page.htm"});
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    {
        CFetchmill fetcher(observer);
        fetcher.httpRequest(tmp("a.htm").c_str(), host.c_str(), "/?q=film&max=250", nullptr,
                            "sid=7");
        fetcher.httpRequest(tmp("b.htm").c_str(), host.c_str(), "/r?u=http://x/y", "", "");
        fetcher.httpRequest(tmp("c.htm").c_str(), host.c_str(), "/fcgi/nzb.fcgi",
                            "action=nzb&12=on", "sid=8");
        ASSERT_EQ(observer.waitFor(3).size(), 3u);
    }
    std::string expected = "GET /?q=film&max=250 HTTP/1.0\r\nHost: " + host + "\r\n" +
                           kCommonLines + "Cookie: sid=7\r\n\r\n" +
                           "GET /r?u=http://x/y HTTP/1.0\r\nHost: " + host + "\r\n" + kCommonLines +
                           "\r\n" + "POST /fcgi/nzb.fcgi HTTP/1.0\r\nHost: " + host + "\r\n" +
                           kCommonLines +
                           "Cookie: sid=8\r\nContent-Type: "
                           "application/x-www-form-urlencoded\r\nContent-Length: 16\r\n\r\n"
                           "action=nzb&12=on\r\n\r\n";
    EXPECT_EQ(readFile(log()), expected);
}

TEST_F(FetchmillTest, NamesEachResponseByItsContentType) {
    auto server = startServer({
        "GET /html -> page.htm type=text/html",
        "GET /nzb -> film.nzb type=application/x-nzb",
        "GET /nzbsemi -> film.nzb type=application/x-nzb;",
        "GET /force -> film.nzb type=application/force-download",
        "GET /nzbcharset -> film.nzb type=\"application/x-nzb; charset=UTF-8\"",
        "GET /plain -> history.txt type=text/plain",
        "GET /plaincharset -> history.txt type=\"text/plain; charset=ISO-8859-1\"",
        "GET /attachment -> film.nzb type=application/octet-stream attachment=film.nzb",
        "GET /missing404 -> page.htm status=404 type=text/html",
    });
    ASSERT_GT(server->port(), 0);
    struct Row {
        const char* path;
        const char* file;
        const char* finalName;
        const char* content;
        const char* charset = "";
    } rows[] = {
        {"/html", "r0.htm", "r0.htm", "<html>results</html>"},
        {"/nzb", "r1.htm", "r1.nzb", "<nzb>film</nzb>"},
        {"/nzbsemi", "r2.htm", "r2.nzb", "<nzb>film</nzb>"},
        {"/force", "r3.htm", "r3.nzb", "<nzb>film</nzb>"},
        {"/nzbcharset", "r4.htm", "r4.htm", "<nzb>film</nzb>", "UTF-8"},
        {"/plain", "r5.htm", "r5.txt", "3.01 fixes\n"},
        {"/plaincharset", "r6.htm", "r6.htm", "3.01 fixes\n", "ISO-8859-1"},
        {"/attachment", "r7.htm", "r7.htm", "<nzb>film</nzb>"},
        {"/missing404", "r8.htm", "r8.htm", "<html>results</html>"},
        {"/nzb", "noextension", "noextension.nzb", "<nzb>film</nzb>"},
        {"/nzb", "twice.old.htm", "twice.old.nzb", "<nzb>film</nzb>"},
        {"/nzb", "a.b/result", "a.b/result.nzb", "<nzb>film</nzb>"}, // a dot in a folder
    };
    fs::create_directories(dir / "tmp" / "a.b");
    std::string host = server->hostPort();
    CFetchmill fetcher(observer);
    for (const Row& row : rows)
        fetcher.httpRequest(tmp(row.file).c_str(), host.c_str(), row.path, nullptr, nullptr);
    auto responses = observer.waitFor(std::size(rows));
    ASSERT_EQ(responses.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(responses[i].file, tmp(rows[i].finalName)) << rows[i].path;
        EXPECT_EQ(responses[i].host, host);
        EXPECT_EQ(responses[i].result, 0);
        EXPECT_EQ(responses[i].charset, rows[i].charset) << rows[i].path;
        EXPECT_EQ(readFile(tmp(rows[i].finalName)), rows[i].content) << rows[i].path;
        if (std::string(rows[i].file) != rows[i].finalName) {
            EXPECT_FALSE(fs::exists(tmp(rows[i].file))) << rows[i].path;
        }
    }
}

TEST_F(FetchmillTest, GzipBodiesEndDecompressed) {
    auto server = startServer({"GET /update.php* -> history.txt type=text/plain gzip",
                               "GET /page -> page.htm type=text/html gzip",
                               "POST /nzb -> film.nzb type=application/x-nzb gzip"});
    ASSERT_GT(server->port(), 0);
    std::string url = "http://" + server->hostPort() + "/update.php?file=Miravel&version=3002";
    CFetchmill fetcher(observer);
    // The update check: no host, an absolute URL.
    fetcher.httpRequest(tmp("history.htm").c_str(), nullptr, url.c_str(), nullptr, nullptr);
    fetcher.httpRequest(tmp("lumo0000.htm").c_str(), server->hostPort().c_str(), "/page", nullptr,
                        nullptr);
    // An NZB named after a release: only the last dot of the name starts the extension.
    fetcher.httpRequest(tmp("Film.2009.x264_0001.htm").c_str(), server->hostPort().c_str(), "/nzb",
                        "action=nzb", nullptr);
    auto responses = observer.waitFor(3);
    ASSERT_EQ(responses.size(), 3u);
    EXPECT_EQ(responses[0].file, tmp("history.txt"));
    EXPECT_EQ(responses[0].host, "");
    EXPECT_EQ(readFile(tmp("history.txt")), "3.01 fixes\n");
    EXPECT_FALSE(fs::exists(tmp("history.htm")));
    EXPECT_FALSE(fs::exists(tmp("history")));
    EXPECT_EQ(responses[1].file, tmp("lumo0000.htm"));
    EXPECT_EQ(readFile(tmp("lumo0000.htm")), "<html>results</html>");
    EXPECT_FALSE(fs::exists(tmp("lumo0000")));
    EXPECT_EQ(responses[2].file, tmp("Film.2009.x264_0001.nzb"));
    EXPECT_EQ(readFile(tmp("Film.2009.x264_0001.nzb")), "<nzb>film</nzb>");
    EXPECT_FALSE(fs::exists(tmp("Film.2009.x264_0001")));
    EXPECT_FALSE(fs::exists(tmp("Film.2009.nzb")));
    EXPECT_EQ(readFile(log()).rfind("GET /update.php?file=Miravel&version=3002 HTTP/1.0\r\nHost: " +
                                        server->hostPort() + "\r\n",
                                    0),
              0u);
}

TEST_F(FetchmillTest, CorruptGzipBodyIsKeptAsReceived) {
    std::ofstream(dir / "site" / "bad.http")
        << "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\nContent-Type: text/html\r\n\r\nnot gzip";
    auto server = startServer({"GET /bad -> bad.http raw"});
    ASSERT_GT(server->port(), 0);
    CFetchmill fetcher(observer);
    fetcher.httpRequest(tmp("bad.htm").c_str(), server->hostPort().c_str(), "/bad", nullptr,
                        nullptr);
    auto responses = observer.waitFor(1);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0].file, tmp("bad.htm"));
    EXPECT_EQ(readFile(tmp("bad.htm")), "not gzip");
}

TEST_F(FetchmillTest, HeaderSizeLimitAndSplitBlankLine) {
    auto server = startServer({
        "GET /h4095 -> film.nzb type=application/x-nzb headersize=4095",
        "GET /h4096 -> film.nzb type=application/x-nzb headersize=4096",
        // Pieces of 51 bytes put the header's last CRLF and the blank line's CR in one
        // read and the final LF in the next.
        "GET /split -> split.http raw chunk=51 pause=100",
        "GET /bytewise -> split.http raw chunk=1 pause=2",
    });
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    CFetchmill fetcher(observer);
    for (const char* path : {"/h4095", "/h4096", "/split", "/bytewise"})
        fetcher.httpRequest(tmp(std::string(path + 1) + ".htm").c_str(), host.c_str(), path,
                            nullptr, nullptr);
    auto responses = observer.waitFor(4);
    ASSERT_EQ(responses.size(), 4u);
    EXPECT_EQ(responses[0].file, tmp("h4095.nzb"));
    EXPECT_EQ(readFile(tmp("h4095.nzb")), "<nzb>film</nzb>");
    EXPECT_EQ(responses[1].file, tmp("h4096.htm"));
    EXPECT_EQ(responses[1].result, 0);
    EXPECT_EQ(readFile(tmp("h4096.htm")), "");
    EXPECT_EQ(responses[2].file, tmp("split.nzb"));
    EXPECT_EQ(readFile(tmp("split.nzb")), "<nzb>split</nzb>");
    EXPECT_EQ(responses[3].file, tmp("bytewise.nzb"));
    EXPECT_EQ(readFile(tmp("bytewise.nzb")), "<nzb>split</nzb>");
}

TEST_F(FetchmillTest, ReportsQueuedRequestsInOrderExactlyOnce) {
    auto server = startServer({"GET /* -> page.htm delay=50"});
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    CFetchmill fetcher(observer);
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        std::string file = tmp("p" + std::to_string(i) + ".htm");
        std::string path = "/" + std::to_string(i);
        fetcher.httpRequest(file.c_str(), host.c_str(), path.c_str(), nullptr, nullptr);
    }
    ASSERT_EQ(observer.waitFor(count).size(), (size_t)count);
    usleep(300000); // more than one idle poll of the worker
    auto responses = observer.now();
    ASSERT_EQ(responses.size(), (size_t)count);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(responses[i].file, tmp("p" + std::to_string(i) + ".htm"));
}

TEST_F(FetchmillTest, FailuresStillLeaveAFileAndReportZero) {
    // A port that nobody listens on.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, (sockaddr*)&addr, sizeof addr);
    socklen_t size = sizeof addr;
    getsockname(probe, (sockaddr*)&addr, &size);
    std::string closed = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    close(probe);

    auto server = startServer({"GET /cut -> page.htm truncate=90"});
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    CFetchmill fetcher(observer);
    fetcher.httpRequest(tmp("refused.htm").c_str(), closed.c_str(), "/", nullptr, nullptr);
    fetcher.httpRequest(tmp("cut").c_str(), host.c_str(), "/cut", nullptr, nullptr);
    fetcher.httpRequest(tmp("nourl.htm").c_str(), nullptr, "no-scheme-here", nullptr, nullptr);
    fetcher.httpRequest(tmp("inject.htm").c_str(), host.c_str(), "/x", nullptr, "a=1\r\nX-Evil: 1");
    fetcher.httpRequest(tmp("badport.htm").c_str(), "127.0.0.1:99999", "/", nullptr, nullptr);
    fetcher.httpRequest((dir / "nofolder" / "x.htm").c_str(), host.c_str(), "/", nullptr, nullptr);
    auto responses = observer.waitFor(6);
    ASSERT_EQ(responses.size(), 6u);
    const char* files[] = {"refused.htm", "cut.htm", "nourl.htm", "inject.htm", "badport.htm"};
    for (size_t i = 0; i < std::size(files); ++i) {
        EXPECT_EQ(responses[i].file, tmp(files[i]));
        EXPECT_EQ(responses[i].result, 0) << files[i];
        EXPECT_TRUE(fs::exists(tmp(files[i]))) << files[i];
    }
    // 90 bytes of the answer: its 83-byte header and the first 7 body bytes.
    EXPECT_EQ(readFile(tmp("cut.htm")), "<html>r");
    EXPECT_EQ(responses[5].file, (dir / "nofolder" / "x.htm").string());
    EXPECT_EQ(responses[5].result, -1);
    // Only the truncated request reached the server.
    EXPECT_EQ(readFile(log()).find("X-Evil"), std::string::npos);
    EXPECT_EQ(readFile(log()).rfind("GET /cut HTTP/1.0\r\n", 0), 0u);
}

TEST_F(FetchmillTest, SilentServerTimesOutWithAnEmptyHtmFile) {
    auto server = startServer({}, {"--silent"});
    ASSERT_GT(server->port(), 0);
    THttpLimits limits;
    limits.waitSeconds = 1;
    CFetchmill fetcher(observer, limits);
    fetcher.httpRequest(tmp("silent.nzb").c_str(), server->hostPort().c_str(), "/", nullptr,
                        nullptr);
    auto responses = observer.waitFor(1);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0].file, tmp("silent.htm"));
    EXPECT_EQ(responses[0].result, 0);
    EXPECT_EQ(readFile(tmp("silent.htm")), "");
}

TEST_F(FetchmillTest, DestroyingDuringASilentFetchReturnsPromptlyAndReportsNothing) {
    auto server = startServer({}, {"--silent"});
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    auto fetcher = std::make_unique<CFetchmill>(observer); // the full 30 s waits
    for (const char* file : {"a.htm", "b.htm", "c.htm"})
        fetcher->httpRequest(tmp(file).c_str(), host.c_str(), "/", nullptr, nullptr);
    ASSERT_TRUE(waitForLog()); // the first request is in progress
    auto before = std::chrono::steady_clock::now();
    fetcher.reset();
    auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_LT(waited, std::chrono::seconds(15)); // far below the 30 s receive wait
    usleep(300000);
    EXPECT_TRUE(observer.now().empty());
    EXPECT_FALSE(fs::exists(tmp("b.htm")));
}
