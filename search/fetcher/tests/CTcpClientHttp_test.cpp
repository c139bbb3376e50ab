#include "CTcpClientHttp.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

const char* kCommonLines = "User-Agent: Miravel/3.00\r\n"
                           "Accept-Language: en-us,en;q=0.5\r\n"
                           "Accept-Encoding: gzip,deflate\r\n"
                           "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n"
                           "Connection: close\r\n";

// A connected pair: the test writes the server's side, recvHeader reads the other.
struct SocketPair {
    SocketPair() { socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }
    ~SocketPair() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void write(const std::string& data) { ::send(fds[1], data.data(), data.size(), MSG_NOSIGNAL); }
    void closeServer() {
        close(fds[1]);
        fds[1] = -1;
    }
    int fds[2] = {-1, -1};
};

} // namespace

TEST(CTcpClientHttpTest, CreatesRequestTextsByteForByte) {
    struct Row {
        const char* host;
        const char* target;
        const char* post;
        const char* cookie;
        std::string expected;
    } rows[] = {
        {"www.binsearch.info", "/?q=a+b&max=250", "", "",
         std::string("GET /?q=a+b&max=250 HTTP/1.0\r\nHost: www.binsearch.info\r\n") +
             kCommonLines + "\r\n"},
        {"host:8080", "/x", "", "sid=1; lang=en",
         std::string("GET /x HTTP/1.0\r\nHost: host:8080\r\n") + kCommonLines +
             "Cookie: sid=1; lang=en\r\n\r\n"},
        {"h", "/fcgi/nzb.fcgi", "action=nzb&1=on", "",
         std::string("POST /fcgi/nzb.fcgi HTTP/1.0\r\nHost: h\r\n") + kCommonLines +
             "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n\r\n"
             "action=nzb&1=on\r\n\r\n"},
        {"h", "/p", "\xe9=1", "c=2",
         std::string("POST /p HTTP/1.0\r\nHost: h\r\n") + kCommonLines +
             "Cookie: c=2\r\nContent-Type: application/x-www-form-urlencoded\r\n"
             "Content-Length: 3\r\n\r\n\xe9=1\r\n\r\n"},
    };
    for (const Row& row : rows) {
        std::string request;
        CTcpClientHttp::createRequest(row.host, row.target, row.post, row.cookie, request);
        EXPECT_EQ(request, row.expected) << row.target;
    }
}

TEST(CTcpClientHttpTest, HeaderSplitAcrossReadsWithALargeBodyBehindIt) {
    SocketPair pair;
    std::string body(8000, 'b');
    pair.write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r");
    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    char* start = nullptr;
    std::thread reader([&] { start = CTcpClientHttp::recvHeader(pair.fds[0], buffer, length, 10); });
    usleep(100000);
    pair.write("\n\r\n" + body);
    reader.join();
    ASSERT_NE(start, nullptr);
    EXPECT_STREQ(buffer, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n");
    EXPECT_EQ(std::string(start, (size_t)length), body.substr(0, (size_t)length));
    EXPECT_GT(length, 0);
}

TEST(CTcpClientHttpTest, HeaderMustEndWithinTheCapacity) {
    struct Row {
        size_t headerSize; // status line to blank line included
        bool accepted;
    } rows[] = {{4095, true}, {4096, false}, {40, true}};
    for (const Row& row : rows) {
        SocketPair pair;
        std::string header = "HTTP/1.0 200 OK\r\nX: ";
        header += std::string(row.headerSize - header.size() - 4, 'x') + "\r\n\r\n";
        pair.write(header + "body");
        pair.closeServer();
        char buffer[CTcpClientHttp::kHeaderCapacity + 1];
        int length = CTcpClientHttp::kHeaderCapacity;
        char* start = CTcpClientHttp::recvHeader(pair.fds[0], buffer, length, 10);
        EXPECT_EQ(start != nullptr, row.accepted) << row.headerSize;
        if (start) {
            EXPECT_EQ(std::string(start, (size_t)length), row.headerSize == 4095 ? "" : "body");
            EXPECT_EQ(strlen(buffer), row.headerSize - 2);
        }
    }
}

TEST(CTcpClientHttpTest, PeerClosingBeforeTheBlankLineFails) {
    SocketPair pair;
    pair.write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n");
    pair.closeServer();
    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    EXPECT_EQ(CTcpClientHttp::recvHeader(pair.fds[0], buffer, length, 10), nullptr);
}
