// Runs the import demo as a child process, as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

struct DemoRun {
    std::string output;
    int status;
};

DemoRun runDemo(const std::string& arguments) {
    std::string command = std::string(CORV_BIN_DIR) + "/corvane-importdemo " + arguments + " 2>&1";
    DemoRun run{"", -1};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(ImportDemo, SamplePostLandsWithItsFilesAndQueue) {
    std::string sample = std::string(CORV_SOURCE_DIR) + "/tools/importdemo/sample.nzb";
    DemoRun run = runDemo("--delete '" + sample + "' '" + sample + "'");
    const std::string& out = run.output;
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_TRUE(contains(out, "update check: v100")) << out;
    EXPECT_TRUE(contains(out, "posts after 0, files after 0")) << out;
    EXPECT_TRUE(contains(out, "posts after 1, files after 6"))
        << out; // the second import counts on
    EXPECT_TRUE(contains(out, "Posts (2)")) << out;
    EXPECT_TRUE(contains(out, "Files (12)")) << out;
    EXPECT_TRUE(contains(out, "Download queue (8)")) << out; // rar volumes and the par2 index
    EXPECT_TRUE(contains(out, "Holiday.Pictures.2026.vol00+01.par2  PAR2  627437  2/2       1"))
        << out;
    EXPECT_TRUE(contains(out, "Tom`s Holiday Pictures")) << out; // quotes never reach SQL raw
    EXPECT_TRUE(contains(out, "\"Holiday.Pictures.2026.nfo\" & notes")) << out;
    EXPECT_FALSE(contains(out, "SQLerr")) << out;
    EXPECT_TRUE(contains(out, "removed")) << out;

    size_t at = out.find("program folder: ");
    ASSERT_NE(at, std::string::npos);
    std::string folder = out.substr(at + 16, out.find('\n', at) - at - 16);
    EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
}

TEST(ImportDemo, MissingNzbIsRefusedBeforeAnythingIsMade) {
    DemoRun run = runDemo("/nonexistent/none.nzb");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.output, "no such NZB file: /nonexistent/none.nzb")) << run.output;
    EXPECT_FALSE(contains(run.output, "program folder")) << run.output;
}
