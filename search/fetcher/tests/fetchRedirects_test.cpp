// Redirects: followed up to five times, each hop logged, the method and cookie
// handled as a browser would, and nothing but the final body stored.
#include "FetchmillFixture.h"

namespace {

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Routes /r<first> .. /r<last - 1>, each redirecting to the next, and /r<last> the page.
std::vector<std::string> chain(int first, int last) {
    std::vector<std::string> routes;
    for (int i = first; i < last; ++i)
        routes.push_back("GET /r" + std::to_string(i) + " -> page.htm redirect=/r" +
                         std::to_string(i + 1));
    routes.push_back("GET /r" + std::to_string(last) + " -> film.nzb");
    return routes;
}

} // namespace

TEST_F(FetchmillTest, FiveRedirectsAreFollowedAndEachHopLogged) {
    auto server = startServer(chain(0, 5));
    ASSERT_GT(server->port(), 0);
    Response response = fetchOne("chain.htm", server->hostPort(), "/r0");
    EXPECT_EQ(response.file, tmp("chain.nzb"));
    EXPECT_EQ(readFile(tmp("chain.nzb")), "<nzb>film</nzb>"); // no redirect page in it
    EXPECT_EQ(tmpNames(), std::set<std::string>{"chain.nzb"});
    EXPECT_EQ(countOf(fetchLog, "fetch: 302 redirect "), 5u) << fetchLog;
    EXPECT_NE(fetchLog.find("redirect 5 of at most 5: http://127.0.0.1:" +
                       std::to_string(server->port()) + "/r4 -> "),
              std::string::npos)
        << fetchLog;
}

TEST_F(FetchmillTest, SixthRedirectIsRefusedAndNotAsked) {
    auto server = startServer(chain(0, 6));
    ASSERT_GT(server->port(), 0);
    Response response = fetchOne("chain.htm", server->hostPort(), "/r0");
    EXPECT_EQ(response.file, tmp("chain.htm"));
    EXPECT_EQ(response.result, 0);
    EXPECT_EQ(readFile(tmp("chain.htm")), "");
    EXPECT_EQ(tmpNames(), std::set<std::string>{"chain.htm"});
    EXPECT_NE(fetchLog.find("more than 5 redirects"), std::string::npos) << fetchLog;
    EXPECT_EQ(readFile(log()).find("GET /r6 "), std::string::npos);
}

TEST_F(FetchmillTest, RedirectsChangeMethodAndCookieAsBrowsersDo) {
    auto server = startServer({
        "POST /see -> - status=303 redirect=/seen",
        "POST /moved -> - status=301 redirect=/moved2",
        "POST /temporary -> - status=307 redirect=kept",
        "POST /permanent -> - status=308 redirect=/kept",
        "* /* -> page.htm",
    });
    ASSERT_GT(server->port(), 0);
    std::string host = server->hostPort();
    std::string port = std::to_string(server->port());
    // The route to another host name needs the port, known only now: a second server.
    auto other = startServer({"GET /away -> - redirect=//localhost:" + port + "/there",
                              "* /* -> page.htm"});
    ASSERT_GT(other->port(), 0);

    fetchOne("see.htm", host, "/see", "a=1", "sid=1");
    fetchOne("moved.htm", host, "/moved", "a=2", "sid=2");
    fetchOne("temporary.htm", host, "/temporary", "a=3", "sid=3");
    fetchOne("permanent.htm", host, "/permanent", "a=4", "sid=4");
    fetchOne("away.htm", other->hostPort(), "/away", nullptr, "sid=5");
    std::string requests = readFile(log());
    // 303 and 301 ask again with GET and no body; 307 and 308 post the form again.
    EXPECT_NE(requests.find("GET /seen HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(requests.find("GET /moved2 HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(requests.find("POST /kept HTTP/1.0\r\n"), std::string::npos);
    EXPECT_EQ(countOf(requests, "a=3\r\n"), 2u);
    EXPECT_EQ(countOf(requests, "a=4\r\n"), 2u);
    EXPECT_EQ(countOf(requests, "a=1\r\n"), 1u);
    // The cookie goes along on the same host, not to another one.
    EXPECT_EQ(countOf(requests, "Cookie: sid=1\r\n"), 2u);
    EXPECT_EQ(countOf(requests, "Cookie: sid=5\r\n"), 1u);
    EXPECT_NE(requests.find("GET /there HTTP/1.0\r\nHost: localhost:" + port + "\r\n"),
              std::string::npos);
    EXPECT_EQ(readFile(tmp("away.htm")), "<html>results</html>");
}

TEST_F(FetchmillTest, UnusableRedirectsStoreNothing) {
    auto server = startServer({"GET /ftp -> page.htm redirect=ftp://127.0.0.1/x",
                               "GET /port -> page.htm redirect=http://127.0.0.1:0/x",
                               "GET /loop -> page.htm redirect=/loop"});
    ASSERT_GT(server->port(), 0);
    for (const char* path : {"/ftp", "/port", "/loop"}) {
        std::string file = std::string(path + 1) + ".htm";
        Response response = fetchOne(file, server->hostPort(), path);
        EXPECT_EQ(response.file, tmp(file));
        EXPECT_EQ(readFile(tmp(file)), "") << path;
    }
    EXPECT_EQ(tmpNames(), (std::set<std::string>{"ftp.htm", "port.htm", "loop.htm"}));
}
