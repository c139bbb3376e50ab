#include "CTcpClientHttp.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

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

TEST(CTcpClientHttpTest, HeaderSplitAcrossReadsWithALargeBodyBehindIt) {
    SocketPair pair;
    std::string body(8000, 'b');
    pair.write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r");
    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    char* start = nullptr;
    std::thread reader([&] {
        TWaitBounds bounds(10);
        CHttpStream stream(bounds, nullptr);
        stream.adopt(dup(pair.fds[0]));
        start = CTcpClientHttp::recvHeader(stream, buffer, length);
    });
    usleep(100000);
    pair.write("\n\r\n" + body);
    reader.join();
    ASSERT_NE(start, nullptr);
    EXPECT_STREQ(buffer, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n");
    EXPECT_EQ(std::string(start, (size_t)length), body.substr(0, (size_t)length));
    EXPECT_GT(length, 0);
}

TEST(CTcpClientHttpTest, PeerClosingBeforeTheBlankLineFails) {
    SocketPair pair;
    pair.write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n");
    pair.closeServer();
    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    TWaitBounds bounds(10);
    CHttpStream stream(bounds, nullptr);
    stream.adopt(dup(pair.fds[0]));
    EXPECT_EQ(CTcpClientHttp::recvHeader(stream, buffer, length), nullptr);
}
