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

TEST(CorvaneDemo, TheDamagedPostIsRepairedWithTheFewestRecoveryVolumesAndUnpacked) {
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-demo", "--delete"});
    const std::string& out = run.output;
    ASSERT_EQ(run.error, 0);
    EXPECT_EQ(run.exitCode, 0) << out;
    EXPECT_TRUE(contains(out, "into 6 RAR5 volumes with a PAR2 set (10 % recovery in 4 volumes)"))
        << out;
    EXPECT_TRUE(contains(out, "posted 11 files in 81 articles")) << out;
    EXPECT_TRUE(contains(out, "2 articles of holiday-video.part4.rar are on neither")) << out;
    EXPECT_TRUE(contains(out, "post-processing: done")) << out;
    // Two lost articles of 384000 bytes cost 12 blocks of 64000: the 12-block volume alone.
    EXPECT_TRUE(contains(out, "| post 1: 12 blocks missing")) << out;
    EXPECT_TRUE(
        contains(out, "volumes fetched for the repair: 1 of 4: holiday-video.vol28+12.par2"))
        << out;
    EXPECT_TRUE(contains(out, "| post 1: repaired")) << out;
    EXPECT_TRUE(contains(out, "holiday-video.mkv            25170145 bytes  identical")) << out;
    EXPECT_TRUE(contains(out, "readme.txt                         74 bytes  identical")) << out;
    EXPECT_TRUE(contains(out, "0 other files left in download/")) << out;
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
