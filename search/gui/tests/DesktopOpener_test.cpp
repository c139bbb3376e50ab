// The desktop opener starts a real stand-in "xdg-open" found first on PATH.
#include "DesktopOpener.h"
#include "TestFolders.h"
#include "WaitUntil.h"
#include "detachedProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A folder first on PATH holding an "xdg-open" that records its arguments, one per
// NUL-terminated field, and the descriptors it was given, then renames the record into
// place so that a reader never sees half of it.
class RecordingOpener : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = getenv("PATH");
        oldPath = path ? path : "";
        const std::string script = folder.file("xdg-open");
        writeFile(script, "#!/bin/sh\n"
                          "dir=$(dirname \"$0\")\n"
                          "ls /proc/$$/fd > \"$dir/fds.tmp\"\n"
                          "printf '%s\\0' \"$@\" > \"$dir/args.tmp\"\n"
                          "mv \"$dir/fds.tmp\" \"$dir/fds\"\n"
                          "mv \"$dir/args.tmp\" \"$dir/args\"\n");
        chmod(script.c_str(), 0755);
        setenv("PATH", (folder.path + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

    std::string recorded() {
        const std::string record = folder.file("args");
        EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(record); }));
        std::string args = readFile(record);
        std::filesystem::remove(record);
        return args;
    }

    TempFolder folder{"opener_test"};
    std::string oldPath;
};

TEST_F(RecordingOpener, TargetArrivesAsOneExactArgument) {
    const char* targets[] = {
        "/tmp/nzb/My \"Great\" Post (2024) it's $HOME.nzb",
        "http://127.0.0.1/update.php?file=Miravel&version=3002",
        "./cfg/keyword.txt",
        "  blanks around  ",
    };
    for (const char* target : targets) {
        openWithDesktop(target);
        EXPECT_EQ(recorded(), std::string(target) + '\0');
    }
}

TEST_F(RecordingOpener, LeavesNoChildAndNoDescriptorBehind) {
    int leaked = open("/dev/null", O_RDONLY); // no close-on-exec, like a careless socket
    ASSERT_GE(leaked, 0);
    ASSERT_EQ(spawnDetached({"xdg-open", "file.nzb"}), 0);
    // The opener is no child of ours: nothing is left to reap, now or later.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(recorded(), std::string("file.nzb") + '\0');
    const std::string fds = "\n" + readFile(folder.file("fds"));
    close(leaked);
    EXPECT_EQ(fds.find("\n" + std::to_string(leaked) + "\n"), std::string::npos) << fds;
}

TEST_F(RecordingOpener, AMissingOpenerIsReportedNotStarted) {
    setenv("PATH", folder.file("empty").c_str(), 1);
    EXPECT_EQ(spawnDetached({"xdg-open", "file.nzb"}), ENOENT);
    EXPECT_EQ(spawnDetached({}), ENOENT);
    openWithDesktop("file.nzb"); // logged only
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

} // namespace
