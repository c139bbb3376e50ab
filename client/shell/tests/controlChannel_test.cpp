// The control channel: each program folder of each user has its own instance, reached
// only by its own user through a socket in a folder only that user can enter. A second
// local user (made for the test with useradd, when it runs as root) tries what an
// attacker on the same machine would.
#include "CorvaneInstance.h"
#include "SmallPost.h"
#include "TestFolders.h"
#include "controlPath.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

// A connection to the socket at `path`, or -errno.
int connectTo(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = addressOf(path);
    if (connect(fd, (sockaddr*)&address, sizeof address) == 0) return fd;
    int error = errno;
    close(fd);
    return -error;
}

// True when the other end closes `fd` within `seconds`, whatever it sent before.
bool closedByPeer(int fd, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char byte;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, 100) == 1 && recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) return true;
    }
    return false;
}

// Sends "r" and waits for the reload it causes: every earlier message has been handled.
void awaitReload(CorvaneInstance& corvane) {
    int reloads = corvane.logCount("loaded ");
    ASSERT_EQ(corvane.message({"r"}), 0);
    EXPECT_TRUE(corvane.waitForLog("loaded ", 20, reloads + 1)) << corvane.log();
}

void end(CorvaneInstance& corvane) {
    ASSERT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(corvane.waitExit(60), 0);
}

class ControlChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        for (CorvaneInstance* corvane : {&first, &second}) {
            ASSERT_FALSE(corvane->home().empty());
            corvane->configure("DEFAULT", "autoloadGUI", "0");
        }
    }
    void TearDown() override {
        if (!HasFailure()) return;
        for (CorvaneInstance* corvane : {&first, &second}) {
            corvane->keep();
            fprintf(stderr, "kept %s\n", corvane->home().c_str());
        }
    }

    CorvaneInstance first{"corvane_channel_a"};
    CorvaneInstance second{"corvane_channel_b"};
};

TEST_F(ControlChannel, EachProgramFolderHasItsOwnInstanceAndSocket) {
    std::string socketA = first.controlSocket(), socketB = second.controlSocket();
    ASSERT_FALSE(socketA.empty());
    EXPECT_NE(socketA, socketB);
    // Another name of the same folder reaches the same socket.
    std::string link = first.home() + "_link";
    fs::create_directory_symlink(first.home(), link);
    EXPECT_EQ(controlSocketPath(fs::canonical(link).string(), geteuid()).path, socketA);
    fs::remove(link);

    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    struct stat info {};
    ASSERT_EQ(stat(socketA.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    // A message goes to its own folder's instance only.
    int reloadsB = second.logCount("loaded ");
    awaitReload(first);
    awaitReload(first);
    EXPECT_EQ(second.logCount("loaded "), reloadsB);
    awaitReload(second);
    end(first);
    EXPECT_TRUE(second.running());
    end(second);
    // An instance that ends in order takes its socket with it.
    EXPECT_FALSE(fs::exists(socketA));
    EXPECT_FALSE(fs::exists(socketB));
}

TEST_F(ControlChannel, AKilledInstancesStaleSocketIsReplacedAndALiveOneIsNot) {
    ASSERT_TRUE(first.start());
    // Its update-check copy has delivered and gone: nobody else finds the stale socket.
    ASSERT_TRUE(first.waitForLog("\rh \r", 30));
    first.kill(SIGKILL);
    EXPECT_EQ(first.waitExit(20), 128 + SIGKILL);
    ASSERT_TRUE(fs::exists(first.controlSocket()));

    ASSERT_TRUE(first.start());
    EXPECT_NE(readFile(first.home() + "/stderr.txt").find("replacing the stale control socket"),
              std::string::npos);
    // A start while it runs is a messenger and leaves the socket alone.
    EXPECT_EQ(first.message({"g"}), 0);
    EXPECT_TRUE(first.waitForLog("\rg \r", 20));
    awaitReload(first);
    end(first);
}

TEST_F(ControlChannel, ATricklingClientIsCutOffAndDelaysARealMessageByItsTwoSecondsAtMost) {
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.waitForLog("\rh \r", 30)); // the start's own message is out of the way
    // One byte every 250 ms would take 20 s in all.
    const int kBytes = 80;
    std::atomic<int> trickled{0};
    std::atomic<bool> cutOff{false};
    std::thread trickler([&] {
        int fd = connectTo(first.controlSocket());
        if (fd < 0) return;
        for (int i = 0; i < kBytes && !cutOff; ++i) {
            if (send(fd, "r", 1, MSG_NOSIGNAL) != 1) cutOff = true;
            else ++trickled;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        close(fd);
    });
    while (trickled == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int reloads = first.logCount("loaded ");
    EXPECT_EQ(first.message({"r"}), 0);
    // Its reload comes while the trickler would still be sending.
    EXPECT_TRUE(first.waitForLog("loaded ", 12, reloads + 1)) << first.log();
    EXPECT_LT(trickled.load(), kBytes);
    trickler.join();
    EXPECT_TRUE(cutOff);
    EXPECT_EQ(first.logCount("control: a message was not whole within 2 s"), 1);
    end(first);
}

TEST(ControlPath, FoldersOpenToOthersOrOfAnotherUserAreRefusedMissingOrDeepOnesFallBack) {
    TempFolder runtime("corvane_runtime");
    ASSERT_FALSE(runtime.path.empty());
    const char* previous = getenv("XDG_RUNTIME_DIR");
    std::string saved = previous ? previous : "";
    setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);

    ControlPath ok = controlSocketPath("/some/folder", geteuid());
    EXPECT_EQ(ok.path.rfind(runtime.path + "/corvane-", 0), 0u) << ok.path;
    chmod(runtime.path.c_str(), 0755);
    ControlPath open = controlSocketPath("/some/folder", geteuid());
    EXPECT_TRUE(open.path.empty());
    EXPECT_EQ(open.error, EACCES);
    EXPECT_NE(open.problem.find("mode 755, open to other users"), std::string::npos);
    chmod(runtime.path.c_str(), 0700);
    ControlPath foreign = controlSocketPath("/some/folder", geteuid() + 1);
    EXPECT_NE(foreign.problem.find("belongs to user " + std::to_string(geteuid())),
              std::string::npos);

    // A runtime folder too deep for a socket name: the folder of our own under /tmp.
    std::string deep = runtime.path + "/" + std::string(90, 'd');
    fs::create_directory(deep);
    chmod(deep.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    ControlPath fallback = controlSocketPath("/some/folder", geteuid());
    EXPECT_EQ(fallback.path.rfind("/tmp/corvane-" + std::to_string(geteuid()) + "/", 0), 0u);
    EXPECT_LT(fallback.path.size(), sizeof(sockaddr_un::sun_path));
    // So does one that does not exist (a session's variable kept after it ended).
    setenv("XDG_RUNTIME_DIR", (runtime.path + "/gone").c_str(), 1);
    EXPECT_EQ(controlSocketPath("/some/folder", geteuid()).path, fallback.path);

    if (previous) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
}

// A second local user for the test's life, made with useradd (root only).
class SecondUser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "a second local user needs root to be made";
        name = "corvt" + std::to_string(getpid());
        std::string add = "useradd --system --no-create-home --shell /usr/sbin/nologin " + name;
        // useradd may find the user database locked by another run for a moment.
        for (int attempt = 0; attempt < 10 && !getpwnam(name.c_str()); ++attempt)
            if (system((add + " 2>/dev/null").c_str()) != 0) usleep(300 * 1000);
        passwd* entry = getpwnam(name.c_str());
        ASSERT_NE(entry, nullptr) << "useradd " << name << " failed";
        uid = entry->pw_uid;
        gid = entry->pw_gid;
        ASSERT_FALSE(owner.home().empty());
        owner.configure("DEFAULT", "autoloadGUI", "0");
        // The owner's runtime folder, private to this test.
        runtime = std::make_unique<TempFolder>("corvane_runtime");
        setenv("XDG_RUNTIME_DIR", runtime->path.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        // userdel refuses while a process of the user is still ending.
        for (int attempt = 0; attempt < 20 && !name.empty() && getpwnam(name.c_str()); ++attempt)
            if (system(("userdel " + name + " 2>/dev/null").c_str()) != 0) usleep(250 * 1000);
        EXPECT_TRUE(name.empty() || !getpwnam(name.c_str())) << "userdel " << name << " failed";
        if (HasFailure()) {
            owner.keep();
            fprintf(stderr, "kept %s\n", owner.home().c_str());
        }
    }

    // Runs `action` in a child process of the second user; its result (0 to 125), or -1
    // when it did not end within 30 s.
    int asStranger(const std::function<int()>& action) const {
        pid_t pid = fork();
        if (pid == 0) {
            alarm(30);
            if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
                setresuid(uid, uid, uid) != 0)
                _exit(126);
            _exit(action());
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    CorvaneInstance owner{"corvane_owner"};
    std::unique_ptr<TempFolder> runtime;
};

TEST_F(SecondUser, CannotImportEndOrStallTheInstance) {
    std::string secret = makeSmallNzb(owner.home() + "/private", "tax-2024");
    chmod(owner.home().c_str(), 0755); // the NZB is readable by anyone
    ASSERT_TRUE(owner.start());
    std::string socketPath = owner.controlSocket();

    // The runtime folder keeps the stranger out.
    EXPECT_EQ(asStranger([&] { return -connectTo(socketPath); }), EACCES);

    // Were folder and socket open, the instance itself turns the stranger away unread.
    chmod(runtime->path.c_str(), 0711);
    chmod(socketPath.c_str(), 0777);
    for (const std::string& message : {secret + " ", std::string("x "), std::string()})
        EXPECT_EQ(asStranger([&] {
                      int fd = connectTo(socketPath);
                      if (fd < 0) return 1;
                      if (!message.empty()) send(fd, message.data(), message.size(), MSG_NOSIGNAL);
                      // A silent stranger does not keep the connection either.
                      return closedByPeer(fd, 10) ? 0 : 2;
                  }),
                  0)
            << message;
    chmod(runtime->path.c_str(), 0700);
    chmod(socketPath.c_str(), 0600);

    awaitReload(owner);
    EXPECT_EQ(owner.logCount("control: refused a connection of user " +
                                           std::to_string(uid)),
              3);
    EXPECT_EQ(owner.log().find("add nzb:"), std::string::npos);
    EXPECT_TRUE(owner.running());
    end(owner);
}

TEST_F(SecondUser, ItsSquattingSocketOrFolderGetsNothingFromTheOwnersStart) {
    std::string secret = makeSmallNzb(owner.home() + "/private", "tax-2024");
    std::string socketPath = owner.controlSocket();
    ASSERT_FALSE(socketPath.empty());

    // A socket at the owner's path whose listener is the stranger: made by a child that
    // binds, becomes the stranger and listens, then reports what it receives.
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t squatter = fork();
    if (squatter == 0) {
        alarm(60);
        close(report[0]);
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = addressOf(socketPath);
        if (bind(fd, (sockaddr*)&address, sizeof address) != 0 || setgroups(0, nullptr) != 0 ||
            setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0 || listen(fd, 4) != 0)
            _exit(1);
        int received = 0;
        (void)!write(report[1], &received, sizeof received); // listening
        // Every connection until none came for 3 s: the start's probe, its messenger.
        for (pollfd entry{fd, POLLIN, 0}; poll(&entry, 1, 3000) == 1;) {
            int connection = accept(fd, nullptr, nullptr);
            char buffer[1024];
            for (ssize_t count; (count = recv(connection, buffer, sizeof buffer, 0)) > 0;)
                received += (int)count;
            close(connection);
        }
        (void)!write(report[1], &received, sizeof received);
        _exit(0);
    }
    close(report[1]);
    int received = -1;
    ASSERT_EQ(read(report[0], &received, sizeof received), (ssize_t)sizeof received);

    // The owner's start finds a live socket: it does not take it over, and as a
    // messenger it sends nothing to a stranger.
    EXPECT_EQ(owner.message({secret}), EACCES);
    EXPECT_NE(readFile(owner.home() + "/messenger.txt")
                  .find("is held by user " + std::to_string(uid) + ", not by this user; nothing was sent"),
              std::string::npos)
        << readFile(owner.home() + "/messenger.txt");
    EXPECT_EQ(read(report[0], &received, sizeof received), (ssize_t)sizeof received);
    EXPECT_EQ(received, 0);
    close(report[0]);
    waitpid(squatter, nullptr, 0);
    EXPECT_FALSE(fs::exists(owner.home() + "/debugnntp.txt"));
    fs::remove(socketPath);

    // A runtime folder the stranger owns is refused before anything is sent.
    chown(runtime->path.c_str(), uid, gid);
    EXPECT_EQ(owner.message({secret}), EACCES);
    EXPECT_NE(readFile(owner.home() + "/messenger.txt")
                  .find("belongs to user " + std::to_string(uid) + "; refusing it"),
              std::string::npos);
    chown(runtime->path.c_str(), 0, 0);
}

TEST_F(SecondUser, TwoUsersEachRunTheirOwnInstanceAtOnce) {
    if (asStranger([] { return access(CORV_BIN_DIR "/corvane", X_OK) == 0 ? 0 : 1; }) != 0)
        GTEST_SKIP() << "the second user cannot reach " CORV_BIN_DIR;
    // Each user's instance in its own folder under /tmp.
    unsetenv("XDG_RUNTIME_DIR");
    CorvaneInstance strangers{"corvane_stranger"};
    strangers.configure("DEFAULT", "autoloadGUI", "0");
    strangers.runAs(uid, gid);
    ASSERT_TRUE(owner.start());
    ASSERT_TRUE(strangers.start()) << readFile(strangers.home() + "/stderr.txt");
    awaitReload(owner);
    awaitReload(strangers);
    end(strangers);
    EXPECT_TRUE(owner.running());
    end(owner);
    fs::remove_all("/tmp/corvane-" + std::to_string(uid));
}

} // namespace
