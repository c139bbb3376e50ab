// Runs the download demo as a user would and checks its report.
#include "childProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(FetchDemo, DefaultPostArrivesWholeThroughBothServers) {
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-fetchdemo", "--delete"});
    const std::string& out = run.output;
    ASSERT_EQ(run.error, 0);
    EXPECT_EQ(run.exitCode, 0) << out;
    EXPECT_TRUE(contains(out, "posted 2 files in 67 articles")) << out;
    EXPECT_TRUE(contains(out, "downloaded and decoded in")) << out;
    EXPECT_TRUE(contains(out, "holiday-video.mkv            25170145 bytes  identical")) << out;
    EXPECT_TRUE(contains(out, "readme.txt                         74 bytes  identical")) << out;
    // The engine's own lines went to the log, not into the report.
    EXPECT_FALSE(contains(out, "connect OK")) << out;
}

TEST(FetchDemo, RefusesUnknownOptions) {
    tchildRun run = runChild({CORV_BIN_DIR "/corvane-fetchdemo", "--connections", "99"});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(contains(run.output, "usage: corvane-fetchdemo")) << run.output;
}

} // namespace
