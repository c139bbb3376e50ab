// Server workers over TLS against the test news server with certificates made for this
// run; the test's CA is the trust store (SSL_CERT_FILE), as the system's would be.
#include "Corvane.h"
#include "EngineRig.h"
#include "NotificationLog.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "TestCertificates.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"
#include "articleSchema.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const int kHost = 7;

// How many times `text` occurs in `printed`.
int occurrences(const std::string& printed, const std::string& text) {
    int count = 0;
    for (size_t at = printed.find(text); at != std::string::npos; at = printed.find(text, at + 1))
        ++count;
    return count;
}

class TlsWorkerTest : public ProgramFolder {
  protected:
    static void SetUpTestSuite() {
        certificateFolder = new TempFolder("workercerts");
        certificates = new TestCertificates(certificateFolder->path);
        setenv("SSL_CERT_FILE", certificates->ca.c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete certificates;
        delete certificateFolder;
    }
    void SetUp() override {
        ProgramFolder::SetUp();
        ASSERT_TRUE(certificates->ok());
        fs::create_directories("spool");
        writeRandomFile("data.bin", 5 * 2000, 9);
        PostOptions options;
        options.spool = "spool";
        options.nzb = "post.nzb";
        options.partSize = 2000;
        posted = makePost({"data.bin"}, options).at(0);
    }
    void TearDown() override {
        rig.reset();
        server.reset();
        ProgramFolder::TearDown();
    }

    // A TLS server with `certificate` and a rig with one TLS worker for it; `keys` are
    // written into the server's section first.
    void serve(const TestCertificate& certificate, std::vector<std::string> arguments = {},
               std::vector<std::pair<const char*, std::string>> keys = {}) {
        arguments.insert(arguments.end(), {"--spool", "spool", "--log", log, "--tls",
                                           certificate.certificate, certificate.key});
        server = std::make_unique<TestNewsServerProcess>(arguments);
        ASSERT_NE(server->port(), 0);
        tworkerTimes times;
        times.idleWait = 10min;
        times.reconnectWait = 10ms;
        rig = std::make_unique<EngineRig>(times);
        ASSERT_TRUE(rig->importNzb("post.nzb"));
        std::string section = EngineRig::section(kHost);
        profile::writeInt(section.c_str(), "hostssl", 1, CONFIG_INI);
        for (auto& [key, value] : keys)
            profile::writeString(section.c_str(), key, value.c_str(), CONFIG_INI);
        rig->addServer(server->port(), kHost, 1);
        notes = std::make_unique<NotificationLog>();
        worker().attach(notes.get());
    }
    Corvane& worker() { return *rig->workers.at(0); }
    std::string id(int segment) const { return posted.segments.at(segment).messageId; }
    std::string rows(const std::string& sql) { return column(rig->db, sql.c_str()); }
    // Starts the worker and waits until it has gone idle; what it printed meanwhile.
    std::string runUntilIdle() {
        testing::internal::CaptureStdout();
        worker().start();
        bool idle = waitUntil([&] { return notes->has("12:1"); });
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(idle);
        return printed;
    }

    static TempFolder* certificateFolder;
    static TestCertificates* certificates;
    const std::string log = "server.log";
    PostedFile posted;
    std::unique_ptr<TestNewsServerProcess> server;
    std::unique_ptr<EngineRig> rig;
    std::unique_ptr<NotificationLog> notes;
};

TempFolder* TlsWorkerTest::certificateFolder = nullptr;
TestCertificates* TlsWorkerTest::certificates = nullptr;

TEST_F(TlsWorkerTest, DownloadIsByteIdenticalAndATransferCutWithoutCloseNotifyIsFetchedAgain) {
    serve(certificates->localhost, {"--cut-after", "700", "--cut-ids", id(2), "--cut-times", "1"});
    rig->decoder.start();
    std::string printed = runUntilIdle();
    ASSERT_TRUE(waitUntil([&] { return rig->filesIn(fsDecoded) == 1; }));
    EXPECT_EQ(readFile("download/data.bin"), readFile("data.bin"));
    EXPECT_EQ(logLines(log, "CUT after"), 1);
    EXPECT_EQ(logLines(log, "ARTICLE <" + id(2) + ">"), 2);
    EXPECT_EQ(logLines(log, "CONNECT"), 2);
    EXPECT_NE(printed.find("0: sock error(-001): "), std::string::npos) << printed;
    EXPECT_EQ(occurrences(printed, "TLS OK TLSv1."), 2) << printed;
    EXPECT_EQ(occurrences(printed, "WARNING"), 0) << printed;
    EXPECT_EQ(worker().ctls(), 1);
    EXPECT_EQ(worker().cfailure(), nullptr);
}

TEST_F(TlsWorkerTest, RefusedServersGetNoCommandAndNothingIsWritten) {
    std::string otherPin = TestCertificates::fingerprint(certificates->localhost.certificate);
    struct Case {
        const TestCertificate& certificate;
        std::vector<std::pair<const char*, std::string>> keys;
        std::string reason;
    } cases[] = {
        {certificates->otherName, {}, "host name mismatch"},
        {certificates->expired, {}, "expired"},
        {certificates->selfSigned, {}, "certificate not trusted"},
        // A pin is checked also with verification off.
        {certificates->selfSigned,
         {{"hostsslverify", "0"}, {"hostsslfingerprint", otherPin}},
         "certificate fingerprint mismatch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        TearDown();
        SetUp();
        serve(c.certificate, {}, c.keys);
        std::string printed = runUntilIdle();
        // The worker's usual reconnect rounds, each connection refused, then idle.
        int connections = logLines(log, "CONNECT");
        EXPECT_GE(connections, 3);
        EXPECT_EQ(logLines(log, "ARTICLE"), 0);
        std::string line = "TLS to 127.0.0.1:" + std::to_string(server->port()) +
                           " refused: " + c.reason + "\n";
        EXPECT_EQ(occurrences(printed, line), connections) << printed;
        EXPECT_EQ(std::string(worker().cfailure() ? worker().cfailure() : ""), "TLS: " + c.reason);
        EXPECT_TRUE(fs::is_empty("temp"));
        EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=0"), "5");
        EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    }
}

TEST_F(TlsWorkerTest, UnverifiedServerIsTakenWithAWarningAtEveryConnection) {
    serve(certificates->selfSigned, {"--cut-after", "100", "--cut-ids", id(0), "--cut-times", "1"},
          {{"hostsslverify", "0"}});
    std::string printed = runUntilIdle();
    EXPECT_EQ(rig->filesIn(fsWaitDecode), 1);
    EXPECT_EQ(logLines(log, "CONNECT"), 2);
    std::string warning = "WARNING: TLS to 127.0.0.1:" + std::to_string(server->port()) +
                          " without certificate verification\n";
    EXPECT_EQ(occurrences(printed, warning), 2) << printed;
}

TEST_F(TlsWorkerTest, PinnedSelfSignedServerIsTakenWithVerificationOn) {
    serve(certificates->selfSigned, {},
          {{"hostsslfingerprint",
            TestCertificates::fingerprint(certificates->selfSigned.certificate)}});
    std::string printed = runUntilIdle();
    EXPECT_EQ(rig->filesIn(fsWaitDecode), 1);
    EXPECT_EQ(occurrences(printed, "WARNING"), 0) << printed;
}

TEST_F(ProgramFolder, TlsServerSectionDefaultsToPort563AndAMalformedPinIsReported) {
    struct Row {
        const char* port;
        const char* pin;
        unsigned short expected;
    } rows[] = {{nullptr, "", 563}, {"0", "", 563}, {"443", "", 443}, {nullptr, "sha256:12", 563}};
    for (const Row& row : rows) {
        profile::writeString("srv", "hostport", row.port, CONFIG_INI);
        profile::writeString("srv", "hostname", "localhost", CONFIG_INI);
        profile::writeInt("srv", "hostssl", 1, CONFIG_INI);
        profile::writeString("srv", "hostsslfingerprint", row.pin, CONFIG_INI);
        testing::internal::CaptureStdout();
        Corvane worker(4, nullptr);
        worker.rdconfig("srv");
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(worker.client().port(), row.expected);
        EXPECT_EQ(worker.ctls(), 1);
        EXPECT_EQ(printed.find("malformed fingerprint") != std::string::npos, *row.pin != 0)
            << printed;
    }
}

} // namespace
