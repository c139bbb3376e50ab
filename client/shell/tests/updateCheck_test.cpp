// The update check against our test web server on loopback: the request it sends, which
// replies count as an update, how much of a reply is kept, and what the check does with
// the user's answer.
#include "CTCPclientHTTP.h"
#include "TestCertificates.h"
#include "TestFolders.h"
#include "TestWebServerProcess.h"
#include "msgbox.h"
#include "profile.h"
#include "updateCheck.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUpdateBody[] = "1010 faster downloads\r\nfixed the tray icon\r\n";
const char kUpdateTarget[] = "update.php?file=Brindle&version=1009";
// A chunked answer whose last chunk comes in the first write; the rest follows later.
const std::string kChunkedFirst =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n1011\r\n0\r\n";
const std::string kChunkedLater = "\r\nX-Late: after the last chunk\r\n\r\n";
// Header and the start of a numbered body at once, then a piece every few seconds: each
// read is quick, the reply cap would be reached only after about half a minute.
const char kTrickle[] = "long.txt chunk=200 pause=3000";
// Far beyond a one-second deadline, far below the half minute the trickle could take.
const double kDeadlineBoundSeconds = 12;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Standard output goes into a file while the object lives.
class StdoutCapture {
  public:
    explicit StdoutCapture(std::string file) : path(std::move(file)) {
        fflush(stdout);
        saved = dup(STDOUT_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
    ~StdoutCapture() {
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    std::string text() const {
        fflush(stdout);
        return readFile(path);
    }

  private:
    std::string path;
    int saved = -1;
};

// A loopback port nobody listens on: bound once to learn a free number, then let go.
int refusingPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, (sockaddr*)&address, sizeof address);
    getsockname(fd, (sockaddr*)&address, &size);
    close(fd);
    return ntohs(address.sin_port);
}

// What the message box was asked and how it answers.
struct BoxRecord {
    int shown = 0;
    std::string text, title;
    unsigned flags = 0;
    int answer = msgbox::IDNO;
} box;

int recordingBox(const char* text, const char* title, unsigned flags) {
    ++box.shown;
    box.text = text;
    box.title = title;
    box.flags = flags;
    return box.answer;
}

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(root.file("update.txt"), kUpdateBody);
        writeFile(root.file("word.txt"), "none yet 1010\r\n");
        writeFile(root.file("long.txt"), "1012 " + std::string(5000, 'x'));
        writeFile(root.file("noblank.raw"),
                  "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n1010 all on header lines");
        writeFile(root.file("chunked.raw"), kChunkedFirst + kChunkedLater);
        // The pause after the last chunk is far longer than the check takes to read it.
        const std::string chunked =
            "GET /chunked -> chunked.raw raw chunk=" + std::to_string(kChunkedFirst.size()) +
            " pause=5000";
        server = std::make_unique<TestWebServerProcess>(
            std::vector<std::string>{"--root",  root.path,
                                     "--log",   root.file("requests.log"),
                                     "--route", "GET /update.php* -> update.txt",
                                     "--route", "GET /word -> word.txt",
                                     "--route", "GET /empty -> -",
                                     "--route", "GET /noblank -> noblank.raw raw",
                                     "--route", chunked,
                                     "--route", "GET /long -> long.txt",
                                     "--route", "GET /silent -> - silent",
                                     "--route", std::string("GET /trickle -> ") + kTrickle,
                                     "--route", "POST /form -> update.txt"});
        ASSERT_GT(server->port(), 0);
        box = BoxRecord();
        msgbox::setHandler(recordingBox);
    }
    void TearDown() override { msgbox::setHandler(nullptr); }

    std::string url(const std::string& path) const {
        return "http://" + server->hostPort() + "/" + path;
    }
    std::string requests() const { return readFile(root.file("requests.log")); }

    TempFolder root{"update_server"};
    std::unique_ptr<TestWebServerProcess> server;
};

TEST_F(UpdateCheckTest, BodyBeginningWithANumberIsAnUpdate) {
    char reply[256];
    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), nullptr, reply, sizeof reply - 1), 1);
    EXPECT_STREQ(reply, kUpdateBody);

    // Cut to the given size and terminated right after it; nothing written beyond.
    char small[8];
    memset(small, 'Z', sizeof small);
    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), nullptr, small, 4), 1);
    EXPECT_STREQ(small, "1010");
    EXPECT_EQ(small[5], 'Z');

    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), nullptr, nullptr, 0), 1);
}

TEST_F(UpdateCheckTest, RepliesWithoutALeadingNumberAreNoUpdate) {
    struct Case {
        const char* path;
        const char* why;
    } cases[] = {
        {"word", "a body beginning with a word"},
        {"empty", "an empty body"},
        {"noblank", "no blank line: no body at all"},
        {"missing.txt", "a page that is not there"},
    };
    for (const Case& c : cases) {
        char reply[64] = "untouched";
        EXPECT_EQ(updatecheck(url(c.path).c_str(), nullptr, reply, sizeof reply - 1), 0) << c.why;
        EXPECT_STREQ(reply, "untouched") << c.why;
    }
}

TEST_F(UpdateCheckTest, RequestGoesToThePortOfTheUrlWithThePathAfterTheHost) {
    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), nullptr, nullptr, 0), 1);
    EXPECT_EQ(requests(), "GET /update.php?file=Brindle&version=1009 HTTP/1.0\r\n"
                          "Host: 127.0.0.1\r\n\r\n");
}

TEST_F(UpdateCheckTest, ExtraHeaderLinesFollowTheHostLine) {
    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), "Accept: text/plain\r\n", nullptr, 0), 1);
    // A last line without its line end still ends before the blank line.
    EXPECT_EQ(updatecheck(url(kUpdateTarget).c_str(), "X-Check: 1", nullptr, 0), 1);
    EXPECT_EQ(requests(), "GET /update.php?file=Brindle&version=1009 HTTP/1.0\r\n"
                          "Host: 127.0.0.1\r\nAccept: text/plain\r\n\r\n"
                          "GET /update.php?file=Brindle&version=1009 HTTP/1.0\r\n"
                          "Host: 127.0.0.1\r\nX-Check: 1\r\n\r\n");
}

TEST_F(UpdateCheckTest, MalformedUrlsAreRefusedBeforeAnyConnection) {
    const std::string hostOnly = "http://" + server->hostPort();
    EXPECT_EQ(updatecheck("no slash at all", nullptr, nullptr, 0), -1);
    EXPECT_EQ(updatecheck("", nullptr, nullptr, 0), -1);
    EXPECT_EQ(updatecheck(nullptr, nullptr, nullptr, 0), -1);
    EXPECT_EQ(updatecheck(hostOnly.c_str(), nullptr, nullptr, 0), -2);
    EXPECT_EQ(updatecheck("http:/", nullptr, nullptr, 0), -2);
    EXPECT_EQ(updatecheck("http://127.0.0.1:http/update.php", nullptr, nullptr, 0), 0);
    EXPECT_EQ(updatecheck("http://127.0.0.1:99999/update.php", nullptr, nullptr, 0), 0);
    EXPECT_EQ(requests(), "");
}

TEST_F(UpdateCheckTest, TooLongUrlIsCutNotOverrun) {
    const std::string path = "update.php?file=" + std::string(2000, 'a');
    EXPECT_EQ(updatecheck(url(path).c_str(), nullptr, nullptr, 0), 1);
    const std::string sent = requests();
    const std::string line = sent.substr(0, sent.find("\r\n"));
    const std::string expectedUrl = url(path).substr(0, 1023);
    EXPECT_EQ(line, "GET " + expectedUrl.substr(expectedUrl.find('/', 7)) + " HTTP/1.0");
}

TEST_F(UpdateCheckTest, LastChunkEndsTheReception) {
    CTCPclientHTTP http;
    http.connect("127.0.0.1", server->port(), 0, 0);
    ASSERT_NE(http.GetUrl("chunked", nullptr, nullptr), nullptr);
    EXPECT_STREQ(http.Response(), "4\r\n1011\r\n0\r\n");
    EXPECT_EQ(http.Header(), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked");
    EXPECT_FALSE(http.isOpen());

    // Not de-chunked: the chunk size line leads, and it reads as a number.
    char reply[64];
    EXPECT_EQ(updatecheck(url("chunked").c_str(), nullptr, reply, sizeof reply - 1), 1);
    EXPECT_STREQ(reply, "4\r\n1011\r\n0\r\n");
}

TEST_F(UpdateCheckTest, LongReplyIsKeptToTheCap) {
    char reply[8192];
    EXPECT_EQ(updatecheck(url("long").c_str(), nullptr, reply, sizeof reply - 1), 1);
    const std::string kept = reply;
    EXPECT_LT(kept.size(), CTCPclientHTTP::kMaxReply);
    EXPECT_EQ(kept.substr(0, 5), "1012 ");
    EXPECT_EQ(kept.find_first_not_of('x', 5), std::string::npos);
}

TEST_F(UpdateCheckTest, FormPostCarriesItsLengthAndData) {
    CTCPclientHTTP http;
    http.connect("127.0.0.1", server->port(), 0, 0);
    EXPECT_STREQ(http.GetUrl("form", nullptr, "a=1&b=2"), kUpdateBody);
    EXPECT_EQ(http.Header().substr(0, 15), "HTTP/1.0 200 OK");
    EXPECT_EQ(requests(), "POST /form HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                          "Content-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: 7\r\n\r\na=1&b=2\r\n\r\n");
}

TEST_F(UpdateCheckTest, HostThatDoesNotAnswerOrRefusesIsNoUpdate) {
    EXPECT_EQ(updatecheck(url("silent").c_str(), nullptr, nullptr, 0, 1), 0);
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(refusingPort()) + "/" + kUpdateTarget;
    EXPECT_EQ(updatecheck(refused.c_str(), nullptr, nullptr, 0), 0);
}

TEST_F(UpdateCheckTest, TricklingHostIsGivenUpAtTheDeadline) {
    char reply[64] = "untouched";
    const auto start = std::chrono::steady_clock::now();
    // What came so far begins with a number, yet a cut-off reply is no update.
    EXPECT_EQ(updatecheck(url("trickle").c_str(), nullptr, reply, sizeof reply - 1, 10, 1), 0);
    EXPECT_LT(secondsSince(start), kDeadlineBoundSeconds);
    EXPECT_STREQ(reply, "untouched");
}

// runupdate reads ./config.ini, so each case runs in a program folder of its own.
class RunUpdateTest : public UpdateCheckTest {
  protected:
    void setUpdateHost(const std::string& host) {
        profile::writeString("DEFAULT", "updatehost", host.c_str(), "./config.ini");
    }
    // Runs the check; standard output and the pages asked to be opened are kept.
    void run(int timeoutSeconds = 10, int deadlineSeconds = kUpdateDeadlineSeconds) {
        StdoutCapture capture(folder.file("stdout.txt"));
        runupdate([this](const std::string& page) { opened.push_back(page); }, timeoutSeconds,
                  deadlineSeconds);
        output = capture.text();
    }

    WorkingFolder folder{"update_program"};
    std::vector<std::string> opened;
    std::string output;
};

TEST_F(RunUpdateTest, WithoutUpdateHostNothingIsAsked) {
    run();
    EXPECT_EQ(output, "updater no update ");
    setUpdateHost("");
    run();
    EXPECT_EQ(output, "updater no update ");
    setUpdateHost("127.0.0.1/evil?x=");
    run();
    EXPECT_NE(output.find("not a host name"), std::string::npos) << output;
    EXPECT_NE(output.find("no update "), std::string::npos) << output;
    EXPECT_EQ(box.shown, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(requests(), "");
}

TEST_F(RunUpdateTest, YesOpensTheDownloadPage) {
    setUpdateHost(server->hostPort());
    box.answer = msgbox::IDYES;
    run();
    EXPECT_EQ(box.shown, 1);
    EXPECT_EQ(box.title, "Update available 'Brindle'!");
    EXPECT_EQ(box.text, std::string("New version available..  Update?\n\nchanges v") + kUpdateBody);
    EXPECT_EQ(box.flags & 0xf, msgbox::YESNO);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "http://" + server->hostPort() + "/download.php?file=Brindle.exe");
    EXPECT_EQ(output.rfind("updater ", 0), 0u) << output;
    EXPECT_NE(output.find(std::string("update available ... ") + kUpdateBody), std::string::npos)
        << output;
    EXPECT_EQ(requests(), "GET /update.php?file=Brindle&version=1009 HTTP/1.0\r\n"
                          "Host: 127.0.0.1\r\n\r\n");
}

TEST_F(RunUpdateTest, NoOpensNothing) {
    setUpdateHost(server->hostPort());
    box.answer = msgbox::IDNO;
    run();
    EXPECT_EQ(box.shown, 1);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(output.find("no update "), std::string::npos) << output;
}

TEST_F(RunUpdateTest, RefusedConnectionIsNoUpdate) {
    setUpdateHost("127.0.0.1:" + std::to_string(refusingPort()));
    run();
    EXPECT_EQ(box.shown, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(output.substr(output.size() - 10), "no update ") << output;
}

TEST_F(RunUpdateTest, SilentHostEndsAfterTheTimeOut) {
    TestWebServerProcess silent({"--silent"});
    ASSERT_GT(silent.port(), 0);
    setUpdateHost(silent.hostPort());
    run(1);
    EXPECT_EQ(box.shown, 0);
    EXPECT_EQ(output.substr(output.size() - 10), "no update ") << output;
}

TEST_F(RunUpdateTest, TricklingHostEndsAtTheDeadlineWithALogLine) {
    TestWebServerProcess trickling(
        {"--root", root.path, "--route", std::string("GET /update.php* -> ") + kTrickle});
    ASSERT_GT(trickling.port(), 0);
    setUpdateHost(trickling.hostPort());
    box.answer = msgbox::IDYES;
    const auto start = std::chrono::steady_clock::now();
    run(10, 1);
    EXPECT_LT(secondsSince(start), kDeadlineBoundSeconds);
    const std::string line = "update check: 127.0.0.1:" + std::to_string(trickling.port()) +
                             " did not answer in full within 1 s, given up\n";
    EXPECT_NE(output.find(line), std::string::npos) << output;
    EXPECT_EQ(output.substr(output.size() - 10), "no update ") << output;
    EXPECT_EQ(box.shown, 0);
    EXPECT_TRUE(opened.empty());
}

// The update host reached over HTTPS, its certificate made for this run and the test's
// CA given as the trust store.
class HttpsUpdateTest : public RunUpdateTest {
  protected:
    void SetUp() override {
        RunUpdateTest::SetUp();
        ASSERT_TRUE(trust.certificates().ok());
    }
    std::unique_ptr<TestWebServerProcess> startTlsServer(const TestCertificate& certificate) {
        return std::make_unique<TestWebServerProcess>(std::vector<std::string>{
            "--root", root.path, "--log", root.file("requests.log"), "--route",
            "GET /update.php* -> update.txt", "--tls", certificate.certificate, certificate.key});
    }

    TestTrustStore trust;
    const TestCertificates* certificates = &trust.certificates();
};

TEST_F(HttpsUpdateTest, UpdateOverHttpsOffersTheHttpsDownloadPage) {
    auto secure = startTlsServer(certificates->localhost);
    ASSERT_GT(secure->port(), 0);
    const std::string host = "https://localhost:" + std::to_string(secure->port());
    setUpdateHost(host);
    box.answer = msgbox::IDYES;
    run();
    EXPECT_EQ(box.shown, 1);
    EXPECT_EQ(box.text, std::string("New version available..  Update?\n\nchanges v") + kUpdateBody);
    EXPECT_EQ(opened, std::vector<std::string>{host + "/download.php?file=Brindle.exe"});
    EXPECT_NE(output.find("TLS OK "), std::string::npos) << output;
    EXPECT_EQ(requests(), "GET /update.php?file=Brindle&version=1009 HTTP/1.0\r\n"
                          "Host: localhost\r\n\r\n");
}

TEST_F(HttpsUpdateTest, HostWhoseCertificateDoesNotHoldIsNoUpdate) {
    auto untrusted = startTlsServer(certificates->selfSigned);
    ASSERT_GT(untrusted->port(), 0);
    setUpdateHost("https://localhost:" + std::to_string(untrusted->port()));
    run();
    EXPECT_EQ(box.shown, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_NE(output.find("refused: certificate not trusted"), std::string::npos) << output;
    EXPECT_EQ(output.substr(output.size() - 10), "no update ") << output;
    EXPECT_EQ(requests(), ""); // nothing was sent in the clear either
}

} // namespace
