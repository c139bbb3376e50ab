#include "ScriptedNewsServer.h"
#include "TestCertificates.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "cTCPclientNNTP.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Counts the lines of the server's command log that begin with "<n> " + `text`.
int logCount(const std::string& logPath, const std::string& text) {
    std::string log = readFile(logPath);
    int count = 0;
    for (size_t pos = log.find(' ' + text); pos != std::string::npos;
         pos = log.find(' ' + text, pos + 1))
        ++count;
    return count;
}

std::string articleText(const std::string& subject, const std::string& body) {
    return "Subject: " + subject + "\r\nMessage-ID: <x>\r\n\r\n" + body;
}

// Every case runs over plain NNTP and over TLS (a certificate by the test's own CA,
// which is the client's trust store): the dialogue must not tell them apart.
class NNTPClientTest : public TrustStoreSuite<::testing::TestWithParam<bool>> {
  protected:
    bool secure() const { return GetParam(); }
    // Points the connection at the server, over TLS in the TLS runs.
    void aim(cTCPclientNNTP& client, int port, int timeoutSeconds = cTCPclientNNTP::kTimeout) {
        aimAt(client, port, timeoutSeconds);
        if (secure()) client.set_tls(std::make_unique<TlsClientContext>(TlsClientOptions{}));
    }

    void SetUp() override {
        ASSERT_TRUE(certificates().ok());
        ASSERT_FALSE(spool.path.empty());
        std::string big;
        for (int line = 0; big.size() < 3 * 1024 * 1024; ++line)
            big +=
                (line % 97 == 0 ? ".." : "=y") + std::string(126, (char)('a' + line % 26)) + "\r\n";
        articles = {
            {"dots@t", articleText("dots", "..lead\r\nmid..dle\r\n.\r\n...\r\nend\r\n")},
            {"nul@t", articleText("nul", std::string("a\0b\r\n\0\0\r\n", 9))},
            {"plain@t", articleText("plain", "just text\r\n")},
            {"big@t", articleText("big", big)},
        };
        for (auto& [id, text] : articles)
            writeFile(spool.file(id), text);
    }
    std::vector<std::string> args(std::vector<std::string> more = {}) {
        std::vector<std::string> all = {"--spool", spool.path,   "--log",
                                        logPath(), "--lifetime", "120"};
        if (secure())
            all.insert(all.end(), {"--tls", certificates().localhost.certificate,
                                   certificates().localhost.key});
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    std::string logPath() const { return spool.file("log.txt"); }
    // What `article` yields for a spool article: its text as written (the dots the
    // server added are gone again), then the end marker.
    static std::string expected(const std::string& text) { return text + ".\r\n"; }

    TempFolder spool{"nntpclient"};
    std::vector<std::pair<std::string, std::string>> articles;
};

} // namespace

TEST_P(NNTPClientTest, FetchesArticlesExactlyOnOneConnectionWithoutAuthinfo) {
    TestNewsServerProcess server(args());
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port());
    std::string data;
    for (auto& [id, text] : articles) {
        data = "stale";
        EXPECT_EQ(client.article(id.c_str(), &data), 200) << id;
        EXPECT_EQ(data, expected(text)) << id; // dots unstuffed, NUL bytes kept
        EXPECT_EQ(data.substr(data.size() - 5), "\r\n.\r\n");
    }
    // A missing article leaves the connection usable.
    EXPECT_EQ(client.article("missing@t", &data), 430);
    EXPECT_EQ(std::string(client.cresp()).substr(0, 4), "430 ");
    EXPECT_TRUE(client.isOpen());
    EXPECT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(std::string(client.cresp()), "220 0 <plain@t>\r");

    EXPECT_EQ(client.quit(), 205);
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.bytecount(), 0);
    EXPECT_EQ(logCount(logPath(), "CONNECT"), 1);
    EXPECT_EQ(logCount(logPath(), "AUTHINFO"), 0);
    EXPECT_EQ(logCount(logPath(), "ARTICLE <"), (int)articles.size() + 2);
}

TEST_P(NNTPClientTest, ByteCounterAddsUpUntilReset) {
    TestNewsServerProcess server(args());
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port());
    std::string data;
    const std::string& plain = articles[2].second;
    int size = (int)expected(plain).size(); // no dots: received bytes equal the data
    ASSERT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(client.bytecount(), size);
    ASSERT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(client.bytecount(), 2 * size);
    client.resetcount();
    ASSERT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(client.bytecount(), size);
}

TEST_P(NNTPClientTest, AuthenticatesOnConnectAndPassesRefusalsOn) {
    TestNewsServerProcess server(args({"--user", "reader", "--pass", "secret"}));
    ASSERT_GT(server.port(), 0);
    std::string data;
    {
        cTCPclientNNTP client;
        aim(client, server.port());
        client.set_auth("reader", "secret");
        EXPECT_EQ(client.article("plain@t", &data), 200);
        EXPECT_EQ(client.article("dots@t", &data), 200);
    }
    EXPECT_EQ(logCount(logPath(), "AUTHINFO USER reader"), 1);
    EXPECT_EQ(logCount(logPath(), "AUTHINFO PASS secret"), 1);
    EXPECT_EQ(logCount(logPath(), "QUIT"), 1); // sent by the destructor

    cTCPclientNNTP anonymous;
    aim(anonymous, server.port());
    EXPECT_EQ(anonymous.article("plain@t", &data), 480);
    EXPECT_TRUE(anonymous.isOpen());

    cTCPclientNNTP wrong;
    aim(wrong, server.port());
    wrong.set_auth("reader", "guess");
    EXPECT_EQ(wrong.connect(), 200);
    EXPECT_EQ(wrong.authinfo(), 481);
    EXPECT_EQ(wrong.article("plain@t", &data), 480);
}

TEST_P(NNTPClientTest, SilentServerTimesOutAndNextArticleReconnectsAndAuthenticates) {
    TestNewsServerProcess server(
        args({"--user", "reader", "--pass", "secret", "--silent-ids", "slow@t"}));
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port(), 1);
    client.set_auth("reader", "secret");
    std::string data;
    EXPECT_EQ(client.article("slow@t", &data), -1);
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(data, expected(articles[2].second));
    EXPECT_EQ(logCount(logPath(), "CONNECT"), 2);
    EXPECT_EQ(logCount(logPath(), "AUTHINFO USER reader"), 2);
}

TEST_P(NNTPClientTest, RefusedGreetingAndUnreachableServerFail) {
    TestNewsServerProcess server(args({"--refuse-greeting"}));
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port(), 5);
    EXPECT_EQ(client.connect(), 502);
    std::string data;
    EXPECT_EQ(client.article("plain@t", &data), -1);
    EXPECT_FALSE(client.isOpen());

    int port = server.port();
    server.stop();
    cTCPclientNNTP gone;
    aim(gone, port);
    EXPECT_EQ(gone.connect(), -1);
    EXPECT_EQ(gone.article("plain@t", &data), -1);
    EXPECT_EQ(gone.quit(), -1);
}

TEST_P(NNTPClientTest, OverLongOrBrokenInputsAreHeldOrRefusedSafely) {
    TestNewsServerProcess server(args());
    ASSERT_GT(server.port(), 0);
    // Far longer than the classic 31-character host field; still the loopback address.
    std::string host = std::string(60, '0') + "177.0.0.1";
    cTCPclientNNTP client;
    client.set_host(host.c_str(), (unsigned short)server.port());
    // No certificate names such a host: over TLS this one runs unverified.
    if (secure()) client.set_tls(std::make_unique<TlsClientContext>(TlsClientOptions{false, ""}));
    EXPECT_EQ(std::string(client.host()), host);
    std::string data;
    ASSERT_EQ(client.article("plain@t", &data), 200);

    struct Row {
        std::string id;
    } refused[] = {{std::string(600, 'i') + "@t"}, {"plain@t>\r\nQUIT\r\nARTICLE <x"}, {"a\nb"}};
    for (const Row& row : refused) {
        EXPECT_EQ(client.article(row.id.c_str(), &data), 501);
        EXPECT_EQ(std::string(client.cresp()).substr(0, 4), "501 ");
        EXPECT_TRUE(client.isOpen());
    }
    EXPECT_EQ(client.article("plain@t", &data), 200);
    EXPECT_EQ(logCount(logPath(), "ARTICLE <"), 2);
    EXPECT_EQ(logCount(logPath(), "QUIT"), 0);

    cTCPclientNNTP longUser;
    aim(longUser, server.port());
    longUser.set_auth(std::string(700, 'u').c_str(), "p");
    EXPECT_EQ(longUser.connect(), 200);
    EXPECT_EQ(longUser.authinfo(), 501);
    EXPECT_EQ(logCount(logPath(), "AUTHINFO"), 0);
}

TEST(NNTPClientScripted, AnswerIsWholeWhereverItIsSplit) {
    // Cut in the status line, between it and the data, in the data and in the end marker.
    const std::string status = "220 0 <s@t>\r\n";
    const std::string sent = status + "Subject: s\r\n\r\nbody\r\n..dot\r\n.\r\n";
    const std::string answer = "Subject: s\r\n\r\nbody\r\n.dot\r\n.\r\n";
    for (size_t split = 1; split < sent.size(); ++split) {
        ScriptedServer server([&](int fd) {
            ScriptedServer::sendText(fd, "200 hello\r\n");
            if (!ScriptedServer::readLine(fd)) return;
            ScriptedServer::sendText(fd, sent.substr(0, split));
            // Not a synchronisation: a short gap only makes it likely that the client
            // reads the first part on its own; the result must not depend on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ScriptedServer::sendText(fd, sent.substr(split));
            ScriptedServer::readLine(fd);
        });
        cTCPclientNNTP client;
        aimAt(client, server.port(), 10);
        std::string data;
        EXPECT_EQ(client.article("s@t", &data), 200) << split;
        EXPECT_EQ(data, answer) << split;
        EXPECT_EQ(std::string(client.cresp()), "220 0 <s@t>\r") << split;
        // Only the data is counted, however much of it came with the status line.
        EXPECT_EQ(client.bytecount(), (int)(sent.size() - status.size())) << split;
    }
}

TEST(NNTPClientScripted, EndlessArticleIsCutAtTheCap) {
    ScriptedServer server([](int fd) {
        ScriptedServer::sendText(fd, "200 hello\r\n");
        if (!ScriptedServer::readLine(fd)) return;
        ScriptedServer::sendText(fd, "220 0 <endless@t>\r\nSubject: endless\r\n\r\n");
        std::string line(1022, 'x');
        line += "\r\n";
        // Bounded: a little more than the cap, or until the client hangs up.
        for (size_t sent = 0; sent < cTCPclient::kMaxData + 4 * 1024 * 1024; sent += line.size())
            if (!ScriptedServer::sendText(fd, line)) return;
    });
    cTCPclientNNTP client;
    aimAt(client, server.port(), 10);
    std::string data;
    EXPECT_EQ(client.article("endless@t", &data), -1);
    EXPECT_FALSE(client.isOpen());
    EXPECT_LE(data.size(), cTCPclient::kMaxData);
}

TEST(NNTPClientScripted, NonStatusLinesBreakTheDialogue) {
    // Garbage whose length could pass for a success code, and numbers that wrap around
    // into 200 or 430 when read as an int.
    for (std::string line :
         {std::string(248, 'g'), std::string("4294967496 ok"), std::string("4294967726 no"),
          std::string("2201 ok"), std::string("22 ok")}) {
        ScriptedServer server([line](int fd) {
            ScriptedServer::sendText(fd, "200 hello\r\n");
            if (!ScriptedServer::readLine(fd)) return;
            ScriptedServer::sendText(fd, line + "\r\n");
            ScriptedServer::readLine(fd);
        });
        cTCPclientNNTP client;
        aimAt(client, server.port(), 10);
        std::string data;
        EXPECT_EQ(client.article("g@t", &data), -1) << line;
        EXPECT_FALSE(client.isOpen()) << line;
        EXPECT_TRUE(data.empty()) << line;
    }
}

TEST_P(NNTPClientTest, InterruptEndsABlockedArticleFromAnotherThread) {
    TestNewsServerProcess server(args({"--silent-ids", "slow@t"}));
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port(), 0); // would wait for ever without the interrupt
    std::atomic<int> result{1};
    std::thread fetcher([&] {
        std::string data;
        result = client.article("slow@t", &data);
    });
    ASSERT_TRUE(waitUntil([&] { return logCount(logPath(), "ARTICLE <slow@t>") == 1; }));
    client.interrupt();
    fetcher.join();
    EXPECT_EQ(result.load(), -1);
    EXPECT_FALSE(client.isOpen());
}

TEST_P(NNTPClientTest, InterruptBeforeTheSocketExistsHoldsUntilCleared) {
    TestNewsServerProcess server(args());
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aim(client, server.port(), 0);
    // A stop while the connection is being made: no socket yet to shut down.
    client.interrupt();
    std::string data;
    EXPECT_EQ(client.article("plain@t", &data), -1);
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(logCount(logPath(), "ARTICLE <"), 0);
    client.clearInterrupt();
    EXPECT_EQ(client.article("plain@t", &data), 200);
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, NNTPClientTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Tls" : "Plain";
                         });
