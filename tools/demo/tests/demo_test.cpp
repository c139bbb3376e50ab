// Runs the corvane demo as a newcomer would and checks its report.
#include "TestCertificates.h"
#include "TestFolders.h"
#include "childProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CorvaneDemo, TheProgramDownloadsTheDefaultPostThroughBothServersAndEnds) {
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-demo", "--delete"});
    const std::string& out = run.output;
    ASSERT_EQ(run.error, 0);
    EXPECT_EQ(run.exitCode, 0) << out;
    EXPECT_TRUE(contains(out, "posted 2 files in 67 articles")) << out;
    EXPECT_TRUE(contains(out, "downloaded and decoded;")) << out;
    EXPECT_TRUE(contains(out, "holiday-video.mkv            25170145 bytes  identical")) << out;
    EXPECT_TRUE(contains(out, "readme.txt                         74 bytes  identical")) << out;
    // The program's own import line, read back from its log.
    EXPECT_TRUE(contains(out, "| add nzb")) << out;
    EXPECT_TRUE(contains(out, "messenger exit 0, instance exit 0")) << out;
    EXPECT_TRUE(contains(out, "demo passed")) << out;
}

// The real program over TLS: the main server with a self-signed certificate that
// corvane trusts only by its pin.
TEST(CorvaneDemo, TheMainServerCanSpeakTlsWithAPinnedCertificate) {
    TempFolder folder("demotls");
    TestCertificates certificates(folder.path);
    ASSERT_TRUE(certificates.ok());
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-demo", "--delete", "--tls",
                              certificates.selfSigned.certificate, certificates.selfSigned.key});
    const std::string& out = run.output;
    EXPECT_EQ(run.exitCode, 0) << out;
    EXPECT_TRUE(contains(out, "corvane trusts its certificate by the pin sha256:")) << out;
    EXPECT_TRUE(contains(out, "| TLS OK TLSv1.3")) << out;
    EXPECT_FALSE(contains(out, "refused")) << out;
    EXPECT_TRUE(contains(out, "demo passed")) << out;
}

TEST(CorvaneDemo, RefusesUnknownOptions) {
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-demo", "--connections", "99"});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(contains(run.output, "usage: corvane-demo")) << run.output;
}

} // namespace
