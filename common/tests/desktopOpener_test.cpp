// The desktop opener starts a real stand-in "xdg-open" found first on PATH.
#include "desktopOpener.h"
#include "RecordingXdgOpen.h"
#include "WaitUntil.h"
#include "detachedProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class DesktopOpener : public ::testing::Test {
  protected:
    std::string onlyCall() {
        EXPECT_TRUE(waitUntil([&] { return !opener.calls().empty(); }));
        std::vector<std::string> calls = opener.calls();
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? "" : calls[0];
    }
    RecordingXdgOpen opener;
};

TEST_F(DesktopOpener, TargetArrivesAsOneExactArgument) {
    const char* targets[] = {
        "/tmp/nzb/My \"Great\" Post (2024) it's $HOME.nzb",
        "http://127.0.0.1/update.php?file=Miravel&version=3002",
        "./cfg/keyword.txt",
        "  blanks around  ",
    };
    for (const char* target : targets) {
        openWithDesktop(target);
        EXPECT_EQ(onlyCall(), std::string(target) + '\0');
        opener.clear();
    }
}

TEST_F(DesktopOpener, LeavesNoChildAndNoDescriptorBehind) {
    int leaked = open("/dev/null", O_RDONLY); // no close-on-exec, like a careless socket
    ASSERT_GE(leaked, 0);
    ASSERT_EQ(spawnDetached({"xdg-open", "file.nzb"}), 0);
    // The opener is no child of ours: nothing is left to reap, now or later.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(onlyCall(), std::string("file.nzb") + '\0');
    close(leaked);
    const std::string fds = "\n" + opener.descriptors();
    EXPECT_EQ(fds.find("\n" + std::to_string(leaked) + "\n"), std::string::npos) << fds;
}

TEST_F(DesktopOpener, AMissingOpenerIsReportedNotStarted) {
    setenv("PATH", opener.emptyFolder().c_str(), 1);
    EXPECT_EQ(spawnDetached({"xdg-open", "file.nzb"}), ENOENT);
    EXPECT_EQ(spawnDetached({}), ENOENT);
    openWithDesktop("file.nzb"); // logged only
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_TRUE(opener.calls().empty());
}

} // namespace
