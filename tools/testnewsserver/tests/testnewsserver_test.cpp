#include "DotStuffing.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
const auto kWait = std::chrono::seconds(10);

// A plain NNTP line client for checking the server byte for byte.
class RawClient {
  public:
    explicit RawClient(int port) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons((uint16_t)port);
        if (::connect(fd, (sockaddr*)&address, sizeof address) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~RawClient() {
        if (fd >= 0) close(fd);
    }
    bool connected() const { return fd >= 0; }

    void send(const std::string& line) {
        std::string text = line + "\r\n";
        ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), (ssize_t)text.size());
    }
    // One line without CRLF; "<closed>" when the server closed first.
    std::string line() {
        if (!fillUntil("\r\n")) return "<closed>";
        size_t end = buffer.find("\r\n");
        std::string first = buffer.substr(0, end);
        buffer.erase(0, end + 2);
        return first;
    }
    // The article data up to and including the end marker, or all that came before
    // the server closed.
    std::string data() {
        bool complete = fillUntil("\r\n.\r\n");
        size_t end = complete ? buffer.find("\r\n.\r\n") + 5 : buffer.size();
        std::string text = buffer.substr(0, end);
        buffer.erase(0, end);
        return text;
    }
    // True when the server has closed the connection (all data read).
    bool closedByServer() { return !fillUntil("\n") && buffer.empty(); }

  private:
    bool fillUntil(const char* marker) {
        auto deadline = Clock::now() + kWait;
        while (buffer.find(marker) == std::string::npos) {
            if (Clock::now() > deadline) return false;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char chunk[65536];
            ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buffer.append(chunk, (size_t)n);
        }
        return true;
    }

    int fd = -1;
    std::string buffer;
};

const std::string kArticle = "Subject: dots\r\n\r\n..two\r\n.one\r\nplain\r\n.\r\nend\r\n";
const std::string kStuffed = "Subject: dots\r\n\r\n...two\r\n..one\r\nplain\r\n..\r\nend\r\n.\r\n";

class NewsServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(spool.path.empty());
        writeFile(spool.file("a1@test"), kArticle);
        writeFile(spool.file("a2@test"), "Subject: second\r\n\r\nbody\r\n");
        writeFile(outside.file("secret"), "Subject: outside\r\n\r\nnot for clients\r\n");
    }
    std::vector<std::string> args(std::vector<std::string> more = {}) {
        std::vector<std::string> all = {"--spool",    spool.path, "--log", spool.file("log.txt"),
                                        "--lifetime", "120"};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    TempFolder spool{"newsspool"};
    TempFolder outside{"newsoutside"};
};

} // namespace

TEST(DotStuffing, LinesBeginningWithADotGetOneMore) {
    struct Row {
        std::string plain, stuffed;
    } rows[] = {
        {"", ""},
        {"abc\r\n", "abc\r\n"},
        {".\r\n", "..\r\n"},
        {"..x\r\n", "...x\r\n"},
        {"a.b\r\n.c\r\nd.\r\n", "a.b\r\n..c\r\nd.\r\n"},
        {"x\r\n.\r\n.\r\n", "x\r\n..\r\n..\r\n"},
        {std::string("nul\0.\r\n.z", 9), std::string("nul\0.\r\n..z", 10)},
        {"no line end.", "no line end."},
    };
    for (const Row& row : rows) {
        std::string out = "prefix";
        appendDotStuffed(out, row.plain.data(), row.plain.size());
        EXPECT_EQ(out, "prefix" + row.stuffed) << row.plain;
    }
}

TEST_F(NewsServerTest, ServesStuffedArticlesAndKeepsTheConnectionAfterErrors) {
    TestNewsServerProcess server(args({"--missing", "a2@test"}));
    ASSERT_GT(server.port(), 0);
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.line().substr(0, 4), "200 ");

    client.send("ARTICLE <a1@test>");
    EXPECT_EQ(client.line(), "220 0 <a1@test>");
    EXPECT_EQ(client.data(), kStuffed);

    client.send("ARTICLE <a2@test>"); // listed as missing although its file exists
    EXPECT_EQ(client.line().substr(0, 4), "430 ");
    client.send("ARTICLE <nothere@test>");
    EXPECT_EQ(client.line().substr(0, 4), "430 ");
    client.send("ARTICLE a1@test");
    EXPECT_EQ(client.line().substr(0, 4), "501 ");
    client.send("HELP");
    EXPECT_EQ(client.line().substr(0, 4), "500 ");
    client.send("article <a1@test>");
    EXPECT_EQ(client.line(), "220 0 <a1@test>");
    EXPECT_EQ(client.data(), kStuffed);
    // BODY: the same without the header lines and the empty line after them.
    client.send("BODY <a1@test>");
    EXPECT_EQ(client.line(), "222 0 <a1@test>");
    EXPECT_EQ(client.data(), kStuffed.substr(kStuffed.find("\r\n\r\n") + 4));
    client.send("BODY <a2@test>");
    EXPECT_EQ(client.line().substr(0, 4), "430 ");
    client.send("QUIT");
    EXPECT_EQ(client.line().substr(0, 4), "205 ");
    EXPECT_TRUE(client.closedByServer());

    std::string log = readFile(spool.file("log.txt"));
    EXPECT_NE(log.find("1 CONNECT\n1 ARTICLE <a1@test>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("1 QUIT\n"), std::string::npos) << log;
}

TEST_F(NewsServerTest, LargeArticlesWithManyDotLinesArriveWholeOrCutExactly) {
    // Thousands of dot lines, and more bytes than the socket buffers hold, so that the
    // writes end part-way through the article.
    std::string plain = "Subject: many\r\n\r\n", stuffed = plain;
    for (int line = 0; line < 20000; ++line) {
        std::string text = std::string(line % 3 ? "." : "") + std::string(100, 'a' + line % 26);
        plain += text + "\r\n";
        stuffed += (text[0] == '.' ? "." : "") + text + "\r\n";
    }
    stuffed += ".\r\n";
    writeFile(spool.file("many@test"), plain);
    TestNewsServerProcess server(
        args({"--cut-after", "1000001", "--cut-ids", "many@test", "--cut-times", "1"}));
    ASSERT_GT(server.port(), 0);
    {
        RawClient client(server.port());
        ASSERT_EQ(client.line().substr(0, 4), "200 ");
        client.send("ARTICLE <many@test>");
        EXPECT_EQ(client.line(), "220 0 <many@test>");
        EXPECT_EQ(client.data(), stuffed.substr(0, 1000001));
    }
    RawClient client(server.port());
    ASSERT_EQ(client.line().substr(0, 4), "200 ");
    client.send("ARTICLE <many@test>");
    EXPECT_EQ(client.line(), "220 0 <many@test>");
    EXPECT_EQ(client.data(), stuffed);
}

TEST_F(NewsServerTest, IdsThatCouldLeaveTheSpoolAreNotFound) {
    std::string relative = "../" + outside.path.substr(outside.path.rfind('/') + 1) + "/secret";
    writeFile(spool.file(".hidden"), "Subject: hidden\r\n\r\nx\r\n");
    writeFile(spool.file("listed"), "Subject: listed\r\n\r\nx\r\n");
    writeFile(spool.file("ids.txt"), "<listed>\r\nother\n");
    TestNewsServerProcess server(args({"--missing-file", spool.file("ids.txt")}));
    ASSERT_GT(server.port(), 0);
    RawClient client(server.port());
    ASSERT_EQ(client.line().substr(0, 4), "200 ");
    for (std::string id : {relative, outside.file("secret"), std::string(".hidden"),
                           std::string("."), std::string(".."), std::string("listed")}) {
        client.send("ARTICLE <" + id + ">");
        EXPECT_EQ(client.line().substr(0, 4), "430 ") << id;
    }
    client.send("ARTICLE <a2@test>");
    EXPECT_EQ(client.line(), "220 0 <a2@test>");
}

TEST_F(NewsServerTest, CutAfterBreaksOffListedTransfersTheFirstTimesOnly) {
    TestNewsServerProcess server(
        args({"--cut-after", "10", "--cut-ids", "a1@test", "--cut-times", "1"}));
    ASSERT_GT(server.port(), 0);
    {
        RawClient client(server.port());
        ASSERT_EQ(client.line().substr(0, 4), "200 ");
        client.send("ARTICLE <a2@test>"); // not listed: whole
        EXPECT_EQ(client.line(), "220 0 <a2@test>");
        EXPECT_EQ(client.data(), "Subject: second\r\n\r\nbody\r\n.\r\n");
        client.send("ARTICLE <a1@test>");
        EXPECT_EQ(client.line(), "220 0 <a1@test>");
        EXPECT_EQ(client.data(), kStuffed.substr(0, 10));
        EXPECT_TRUE(client.closedByServer());
    }
    RawClient retry(server.port());
    ASSERT_EQ(retry.line().substr(0, 4), "200 ");
    retry.send("ARTICLE <a1@test>");
    EXPECT_EQ(retry.line(), "220 0 <a1@test>");
    EXPECT_EQ(retry.data(), kStuffed);
}

TEST_F(NewsServerTest, ConnectionsBeyondTheLimitAreTurnedAway) {
    TestNewsServerProcess server(args({"--max-connections", "2"}));
    ASSERT_GT(server.port(), 0);
    RawClient first(server.port()), second(server.port());
    ASSERT_EQ(first.line().substr(0, 4), "200 ");
    ASSERT_EQ(second.line().substr(0, 4), "200 ");
    {
        RawClient third(server.port());
        EXPECT_EQ(third.line(), "400 too many connections");
        EXPECT_TRUE(third.closedByServer());
    }
    first.send("QUIT");
    EXPECT_EQ(first.line().substr(0, 4), "205 ");
    // The freed place is taken again once the server has seen the first one end.
    std::string greeting;
    auto deadline = Clock::now() + kWait;
    while (greeting.substr(0, 4) != "200 " && Clock::now() < deadline) {
        RawClient again(server.port());
        greeting = again.line();
        if (greeting.substr(0, 4) != "200 ")
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(greeting.substr(0, 4), "200 ");
}

TEST_F(NewsServerTest, AuthenticationIsRequiredWhenConfigured) {
    TestNewsServerProcess server(args({"--user", "reader", "--pass", "secret"}));
    ASSERT_GT(server.port(), 0);
    RawClient client(server.port());
    ASSERT_EQ(client.line().substr(0, 4), "200 ");
    struct Step {
        const char* command;
        const char* code;
    } steps[] = {
        {"ARTICLE <a2@test>", "480 "},    {"AUTHINFO PASS secret", "482 "},
        {"AUTHINFO USER reader", "381 "}, {"AUTHINFO PASS wrong", "481 "},
        {"ARTICLE <a2@test>", "480 "},    {"AUTHINFO USER reader", "381 "},
        {"AUTHINFO PASS secret", "281 "}, {"ARTICLE <a2@test>", "220 "},
    };
    for (const Step& step : steps) {
        client.send(step.command);
        EXPECT_EQ(client.line().substr(0, 4), step.code) << step.command;
    }
    EXPECT_EQ(client.data(), "Subject: second\r\n\r\nbody\r\n.\r\n");
}

TEST_F(NewsServerTest, RefusedGreetingClosesAndSilentServerSaysNothing) {
    {
        TestNewsServerProcess server(args({"--refuse-greeting"}));
        ASSERT_GT(server.port(), 0);
        RawClient client(server.port());
        EXPECT_EQ(client.line().substr(0, 4), "502 ");
        EXPECT_TRUE(client.closedByServer());
    }
    // Each quiet mode: the options, whether the greeting comes, the command sent, and
    // the log line that shows the server has seen the client. After that nothing at all
    // may arrive, even for a known id, until the server ends and closes the connection.
    struct Row {
        std::vector<std::string> options;
        bool greets;
        const char* command;
        const char* logged;
    } rows[] = {
        {{"--silent"}, false, "ARTICLE <a1@test>", "1 CONNECT"},
        {{"--silent-after-greeting"}, true, "ARTICLE <a1@test>", "1 CONNECT"},
        {{"--silent-ids", "a2@test"}, true, "ARTICLE <a2@test>", "1 ARTICLE <a2@test>"},
    };
    for (const Row& row : rows) {
        std::remove(spool.file("log.txt").c_str());
        TestNewsServerProcess server(args(row.options));
        ASSERT_GT(server.port(), 0);
        RawClient client(server.port());
        if (row.greets) {
            ASSERT_EQ(client.line().substr(0, 4), "200 ") << row.options[0];
        }
        client.send(row.command);
        client.send("ARTICLE <a1@test>");
        ASSERT_TRUE(waitUntil(
            [&] { return readFile(spool.file("log.txt")).find(row.logged) != std::string::npos; }));
        // A quiet session holds up neither the stop signal nor a clean exit.
        EXPECT_TRUE(server.stop()) << row.options[0];
        EXPECT_TRUE(client.closedByServer()) << row.options[0];
    }
}

TEST_F(NewsServerTest, DelayedAnswersStillComeWhole) {
    TestNewsServerProcess server(args({"--delay", "30"}));
    ASSERT_GT(server.port(), 0);
    RawClient client(server.port());
    EXPECT_EQ(client.line().substr(0, 4), "200 ");
    client.send("ARTICLE <a1@test>");
    EXPECT_EQ(client.line(), "220 0 <a1@test>");
    EXPECT_EQ(client.data(), kStuffed);
    client.send("QUIT");
    EXPECT_EQ(client.line().substr(0, 4), "205 ");
}

TEST_F(NewsServerTest, TlsWithoutUsableCertificateFilesDoesNotStart) {
    // The TLS dialogue itself is tested with the NNTP client, over both kinds of server.
    TestNewsServerProcess missing(args({"--tls", "absent.pem", "absent.key"}));
    EXPECT_EQ(missing.port(), 0);
    TestNewsServerProcess incomplete(args({"--tls", "absent.pem"}));
    EXPECT_EQ(incomplete.port(), 0);
}
