// HTTPS: pages through the TLS layer from our test web server with certificates made
// for this run, the test's CA given as the trust store; redirects between the schemes;
// servers whose certificate does not hold are refused with nothing stored.
#include "FetchmillFixture.h"
#include "TestCertificates.h"

namespace {

class FetchmillHttpsTest : public FetchmillTest {
  protected:
    void SetUp() override {
        FetchmillTest::SetUp();
        ASSERT_TRUE(trust.certificates().ok());
    }

    std::unique_ptr<TestWebServerProcess> startTlsServer(std::vector<std::string> routes,
                                                         const TestCertificate& certificate) {
        return startServer(routes, {"--tls", certificate.certificate, certificate.key});
    }
    static std::string https(const TestWebServerProcess& server, const char* name = "localhost") {
        return std::string("https://") + name + ":" + std::to_string(server.port());
    }

    TestTrustStore trust;
    const TestCertificates* certificates = &trust.certificates();
};

} // namespace

TEST_F(FetchmillHttpsTest, PagesNzbAndGzipOverHttpsByNameAndAddress) {
    auto server = startTlsServer({"GET /page -> page.htm", "POST /nzb -> film.nzb gzip",
                                  "GET /update.php* -> history.txt"},
                                 certificates->localhost);
    ASSERT_GT(server->port(), 0);
    Response page = fetchOne("page.htm", https(*server), "/page");
    EXPECT_EQ(page.file, tmp("page.htm"));
    EXPECT_EQ(page.host, https(*server)); // as queued: responses find their engine by it
    EXPECT_EQ(readFile(tmp("page.htm")), "<html>results</html>");
    Response nzb = fetchOne("film.htm", https(*server, "127.0.0.1"), "/nzb", "action=nzb");
    EXPECT_EQ(nzb.file, tmp("film.nzb"));
    EXPECT_EQ(readFile(tmp("film.nzb")), "<nzb>film</nzb>");
    // The search tool's update question: no host, an absolute URL.
    Response update = fetchOne("history.htm", "", https(*server) + "/update.php?v=3002");
    EXPECT_EQ(update.file, tmp("history.txt"));
    EXPECT_EQ(readFile(tmp("history.txt")), "3.01 fixes\n");
    EXPECT_EQ(tmpNames(), (std::set<std::string>{"page.htm", "film.nzb", "history.txt"}));
    std::string requests = readFile(log());
    EXPECT_NE(requests.find("GET /page HTTP/1.0\r\nHost: localhost:" +
                            std::to_string(server->port()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(requests.find("action=nzb\r\n"), std::string::npos);
}

TEST_F(FetchmillHttpsTest, RedirectChainFromHttpToHttps) {
    auto secure = startTlsServer({"GET /r2 -> - redirect=r3", "GET /r3 -> - status=307 redirect=/r4",
                                  "GET /r4 -> film.nzb"},
                                 certificates->localhost);
    ASSERT_GT(secure->port(), 0);
    auto plain = startServer({"GET /r0 -> - status=301 redirect=/r1",
                              "GET /r1 -> - redirect=" + https(*secure) + "/r2"});
    ASSERT_GT(plain->port(), 0);
    Response response = fetchOne("chain.htm", plain->hostPort(), "/r0");
    EXPECT_EQ(response.file, tmp("chain.nzb"));
    EXPECT_EQ(readFile(tmp("chain.nzb")), "<nzb>film</nzb>");
    EXPECT_EQ(tmpNames(), std::set<std::string>{"chain.nzb"});
    EXPECT_NE(fetchLog.find("redirect 2 of at most 5: http://127.0.0.1:" +
                       std::to_string(plain->port()) + "/r1 -> " + https(*secure) + "/r2"),
              std::string::npos)
        << fetchLog;
    EXPECT_NE(fetchLog.find("redirect 4 of at most 5: " + https(*secure) + "/r3 -> "), std::string::npos)
        << fetchLog;
}

TEST_F(FetchmillHttpsTest, RedirectFromHttpsToPlainHttpIsRefused) {
    auto plain = startServer({"GET /x -> film.nzb"});
    ASSERT_GT(plain->port(), 0);
    auto secure = startTlsServer({"GET /down -> page.htm redirect=http://127.0.0.1:" +
                                  std::to_string(plain->port()) + "/x"},
                                 certificates->localhost);
    ASSERT_GT(secure->port(), 0);
    Response response = fetchOne("down.htm", https(*secure), "/down", nullptr, "sid=1");
    EXPECT_EQ(response.file, tmp("down.htm"));
    EXPECT_EQ(readFile(tmp("down.htm")), "");
    EXPECT_EQ(tmpNames(), std::set<std::string>{"down.htm"});
    EXPECT_NE(fetchLog.find("to plain http://127.0.0.1:" + std::to_string(plain->port()) +
                       "/x refused"),
              std::string::npos)
        << fetchLog;
    EXPECT_EQ(readFile(log()).find("GET /x "), std::string::npos); // never asked
}

TEST_F(FetchmillHttpsTest, ServersWhoseCertificateDoesNotHoldAreRefused) {
    struct Row {
        const TestCertificate* certificate;
        const char* name;
        const char* reason;
    } rows[] = {
        {&certificates->otherName, "wrongname", "host name mismatch"},
        {&certificates->expired, "expired", "expired"},
        {&certificates->selfSigned, "selfsigned", "certificate not trusted"},
    };
    for (const Row& row : rows) {
        auto server = startTlsServer({"GET /nzb -> film.nzb"}, *row.certificate);
        ASSERT_GT(server->port(), 0);
        std::string file = std::string(row.name) + ".htm";
            Response response = fetchOne(file, https(*server), "/nzb");
        EXPECT_EQ(response.file, tmp(file)) << row.name;
        EXPECT_EQ(response.result, 0) << row.name;
        EXPECT_EQ(readFile(tmp(file)), "") << row.name;
        EXPECT_NE(fetchLog.find(std::string("TLS refused: ") + row.reason), std::string::npos) << fetchLog;
    }
    EXPECT_EQ(tmpNames(),
              (std::set<std::string>{"wrongname.htm", "expired.htm", "selfsigned.htm"}));
    EXPECT_EQ(readFile(log()), ""); // no request reached a server
}

TEST_F(FetchmillHttpsTest, DestroyingDuringASilentHttpsFetchReturnsPromptly) {
    // The handshake completes, then no answer comes.
    auto server = startServer({}, {"--silent", "--tls", certificates->localhost.certificate,
                                   certificates->localhost.key});
    ASSERT_GT(server->port(), 0);
    auto fetcher = std::make_unique<CFetchmill>(observer); // the full 30 s waits
    fetcher->httpRequest(tmp("silent.htm").c_str(), https(*server).c_str(), "/", nullptr, nullptr);
    ASSERT_TRUE(waitForLog()); // the request went through the TLS session
    auto before = std::chrono::steady_clock::now();
    fetcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15));
    EXPECT_TRUE(observer.now().empty());
}
