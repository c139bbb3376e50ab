#include "RouteTable.h"
#include "TestWebServerProcess.h"

#include "TestFolders.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Sends `request` and reads until the server closes (at most 10 s).
std::string exchange(int port, const std::string& request, int* reads = nullptr) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, (sockaddr*)&addr, sizeof addr) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == (ssize_t)request.size()) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            answer.append(buffer, (size_t)n);
            if (reads) ++*reads;
        }
    }
    close(fd);
    return answer;
}

std::string gunzip(const std::string& data) {
    z_stream zs{};
    inflateInit2(&zs, 15 + 16);
    std::string out(1 << 20, '\0');
    zs.next_in = (Bytef*)data.data();
    zs.avail_in = (uInt)data.size();
    zs.next_out = (Bytef*)out.data();
    zs.avail_out = (uInt)out.size();
    inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return out;
}

std::string body(const std::string& answer) {
    size_t blank = answer.find("\r\n\r\n");
    return blank == std::string::npos ? "" : answer.substr(blank + 4);
}

class TestWebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path.empty());
        fs::create_directories(dir / "site");
        std::ofstream(dir / "site" / "page.htm") << "<html>results</html>";
        std::ofstream(dir / "site" / "history.txt") << "3.00 first\n3.01 second\n";
        std::ofstream(dir / "site" / "raw.http") << "HTTP/1.0 200 OK\r\nX-Raw: yes\r\n\r\nraw body";
    }
    std::vector<std::string> baseArgs() {
        return {"--root", (dir / "site").string(), "--log", (dir / "requests.log").string()};
    }
    TempFolder temp{"testwebserver"};
    fs::path dir = temp.path;
};

} // namespace

TEST(RouteTableTest, ParsesAndRejectsLines) {
    struct Row {
        const char* line;
        bool ok;
    } rows[] = {
        {"GET /search.php?q=* -> page.htm type=text/html", true},
        {"POST /nzb -> a.nzb attachment=a.nzb gzip status=200", true},
        {"* / -> - silent delay=10 chunk=3 pause=5 truncate=7 headersize=4095", true},
        {"GET /x -> f.htm type=\"application/x-nzb; charset=UTF-8\"", true},
        {"# a comment", true},
        {"", true},
        {"PUT /x -> f.htm", false},
        {"GET /x f.htm", false},
        {"GET /x -> f.htm colour=red", false},
        {"GET /x -> f.htm delay=soon", false},
        {"GET /x -> f.htm type=\"open", false},
    };
    for (const Row& row : rows) {
        RouteTable table;
        std::string error;
        EXPECT_EQ(table.addLine(row.line, error), row.ok) << row.line;
        EXPECT_EQ(error.empty(), row.ok) << row.line;
    }
}

TEST(RouteTableTest, FirstMatchingRouteWinsByMethodAndPrefix) {
    RouteTable table;
    std::string error;
    ASSERT_TRUE(table.addLine("POST /nzb* -> post.nzb", error));
    ASSERT_TRUE(table.addLine("GET /search?q=a -> exact.htm", error));
    ASSERT_TRUE(table.addLine("GET /search* -> prefix.htm type=\"text/plain; charset=x\"", error));
    ASSERT_TRUE(table.addLine("* /any -> any.htm", error));
    struct Row {
        const char* method;
        const char* target;
        const char* file; // null: no route
    } rows[] = {
        {"GET", "/search?q=a", "exact.htm"}, {"GET", "/search?q=b", "prefix.htm"},
        {"POST", "/nzb/123", "post.nzb"},    {"GET", "/nzb/123", nullptr},
        {"POST", "/any", "any.htm"},         {"GET", "/anything", nullptr},
    };
    for (const Row& row : rows) {
        auto route = table.match(row.method, row.target);
        if (!row.file) {
            EXPECT_FALSE(route) << row.target;
            continue;
        }
        ASSERT_TRUE(route) << row.target;
        EXPECT_EQ(route->file, row.file);
    }
    EXPECT_EQ(table.match("GET", "/search?q=z")->contentType, "text/plain; charset=x");
}

TEST_F(TestWebServerTest, ServesRoutesStaticFilesAndNotFound) {
    auto args = baseArgs();
    args.insert(args.end(), {"--route", "GET /search.php?q=* -> page.htm", "--route",
                             "GET /get.php -> page.htm type=application/x-nzb "
                             "attachment=film.nzb",
                             "--route", "GET /raw -> raw.http raw"});
    TestWebServerProcess server(args);
    ASSERT_GT(server.port(), 0);

    std::string answer = exchange(server.port(), "GET /search.php?q=film HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_NE(answer.find("Content-Type: text/html\r\n"), std::string::npos);
    EXPECT_EQ(body(answer), "<html>results</html>");

    answer = exchange(server.port(), "GET /get.php HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find("Content-Type: application/x-nzb\r\n"), std::string::npos);
    EXPECT_NE(answer.find("Content-Disposition: attachment; filename=\"film.nzb\"\r\n"),
              std::string::npos);

    answer = exchange(server.port(), "GET /history.txt?x=1 HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find("Content-Type: text/plain\r\n"), std::string::npos);
    EXPECT_EQ(body(answer), "3.00 first\n3.01 second\n");

    EXPECT_EQ(exchange(server.port(), "GET /raw HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 200 OK\r\nX-Raw: yes\r\n\r\nraw body");
    EXPECT_EQ(exchange(server.port(), "GET /missing.htm HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 404", 0),
              0u);
    EXPECT_EQ(
        exchange(server.port(), "GET /../requests.log HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 404", 0),
        0u);
}

TEST_F(TestWebServerTest, RecordsEveryRequestByteForByte) {
    TestWebServerProcess server(baseArgs());
    ASSERT_GT(server.port(), 0);
    std::string get = "GET /page.htm HTTP/1.0\r\nHost: x\r\n\r\n";
    std::string post = "POST /page.htm HTTP/1.0\r\nContent-Length: 5\r\n\r\na=b&c\r\n\r\n";
    exchange(server.port(), get);
    exchange(server.port(), post);
    EXPECT_EQ(readFile(dir / "requests.log"), get + post);
}

TEST_F(TestWebServerTest, CompressesGzipRoutesAndSplitsAnswers) {
    auto args = baseArgs();
    args.insert(args.end(), {"--route", "GET /z -> history.txt gzip", "--route",
                             "GET /slow -> page.htm chunk=10 pause=30", "--route",
                             "GET /cut -> page.htm truncate=20"});
    TestWebServerProcess server(args);
    ASSERT_GT(server.port(), 0);

    std::string answer = exchange(server.port(), "GET /z HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find("Content-Encoding: gzip\r\n"), std::string::npos);
    EXPECT_EQ(gunzip(body(answer)), "3.00 first\n3.01 second\n");

    int reads = 0;
    answer = exchange(server.port(), "GET /slow HTTP/1.0\r\n\r\n", &reads);
    EXPECT_EQ(body(answer), "<html>results</html>");
    EXPECT_GT(reads, 3);

    EXPECT_EQ(exchange(server.port(), "GET /cut HTTP/1.0\r\n\r\n").size(), 20u);
}

TEST_F(TestWebServerTest, SilentServerAnswersNothingAndStillStopsOnSignal) {
    auto args = baseArgs();
    args.push_back("--silent");
    TestWebServerProcess server(args);
    ASSERT_GT(server.port(), 0);

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)server.port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, (sockaddr*)&addr, sizeof addr), 0);
    std::string request = "GET /page.htm HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 300), 0);

    server.stop(); // ends the open connection too
    char byte;
    EXPECT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
    close(fd);
    EXPECT_EQ(readFile(dir / "requests.log"), request);
}
