// The notice of a finished post, on a UI thread of this process as in the program (the
// queue's stage notifications come from the test's own thread, as from the engine's
// stage thread), and from the real program. The desktop is a private session bus
// (dbus-daemon with a configuration of our own, so nothing is activated on it) where the
// test plays the notification server.
#include "Background.h"
#include "CorvaneInstance.h"
#include "NNTPmodel_iface.h"
#include "ServedPostSettings.h"
#include "TestFolders.h"
#include "WaitUntil.h"
#include "childProcess.h"
#include "postNotifier.h"
#include "uiThread.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

// A session bus of the test's own, for the whole run: a process keeps the first session
// bus it connects to.
class PrivateSessionBus {
  public:
    PrivateSessionBus() {
        if (locateProgram("dbus-daemon", {}).empty()) return;
        const std::string socket = folder.file("bus");
        const std::string config = folder.file("bus.conf");
        writeFile(config, "<busconfig><type>session</type><listen>unix:path=" + socket +
                              "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                              "<allow own=\"*\"/></policy></busconfig>");
        daemon.emplace(
            std::vector<std::string>{"dbus-daemon", "--config-file=" + config, "--nofork"});
        if (daemon->running() && waitUntil([&] { return access(socket.c_str(), F_OK) == 0; }))
            address = "unix:path=" + socket;
    }

    std::string address; // empty without dbus-daemon

  private:
    TempFolder folder{"session_bus"};
    std::optional<Background> daemon;
};

// What a notification server was sent: program, summary, body.
struct Notice {
    QString program, title, text;
    bool operator==(const Notice&) const = default;
};

void PrintTo(const Notice& notice, std::ostream* out) {
    *out << notice.program.toStdString() << "|" << notice.title.toStdString() << "|"
         << notice.text.toStdString();
}

// The desktop's notification server, answering Notify with a new id.
class NotificationServer : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != "org.freedesktop.Notifications" ||
            message.member() != "Notify" || message.arguments().size() != 8)
            return false;
        const QList<QVariant> values = message.arguments();
        {
            std::lock_guard<std::mutex> guard(lock);
            got.push_back({values[0].toString(), values[3].toString(), values[4].toString()});
        }
        connection.send(message.createReply(QVariant::fromValue(uint(got.size()))));
        return true;
    }
    std::vector<Notice> notices() {
        std::lock_guard<std::mutex> guard(lock);
        return got;
    }

  private:
    std::mutex lock;
    std::vector<Notice> got;
};

std::unique_ptr<PrivateSessionBus> bus;
std::unique_ptr<UiThread> uiThread;

class NotifierEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        bus = std::make_unique<PrivateSessionBus>();
        setenv("DBUS_SESSION_BUS_ADDRESS", bus->address.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        uiThread = std::make_unique<UiThread>();
    }
    void TearDown() override {
        uiThread.reset();
        bus.reset();
    }
};

// Everything the program's log (standard output) gets while the object lives.
class CapturedLog {
  public:
    CapturedLog() {
        fflush(stdout);
        saved = dup(STDOUT_FILENO);
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDOUT_FILENO);
        close(file);
    }
    ~CapturedLog() {
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    std::string text() {
        fflush(stdout);
        return readFile(path);
    }
    // The lines that begin with "notice: ".
    std::vector<std::string> notices() {
        std::vector<std::string> lines;
        const std::string all = text();
        for (size_t at = all.find("notice: "); at != std::string::npos;
             at = all.find("notice: ", at + 1))
            if (at == 0 || all[at - 1] == '\n')
                lines.push_back(all.substr(at, all.find('\n', at) - at));
        return lines;
    }

  private:
    TempFolder folder{"notifier_log"};
    std::string path = folder.file("log.txt");
    int saved = -1;
};

class PostNotifierTest : public ::testing::Test {
  protected:
    void TearDown() override {
        uiThread->runAndWait([&] { notifier.reset(); });
    }

    void start(postNotifier::TrayMessage tray) {
        uiThread->runAndWait([&] { notifier = std::make_unique<postNotifier>(&queue, tray); });
    }

    // The stage thread's report of `post` reaching `stage`.
    void report(tpost& post, int stage, const char* note = "") {
        post.ppStage = stage;
        snprintf(post.ppNote, sizeof post.ppNote, "%s", note);
        queue.notify(updPostStage, &post);
    }

    // Returns once every notice queued so far has been handed on.
    void settle() {
        uiThread->runAndWait([] {});
    }

    static tpost named(const char* name) {
        tpost post;
        snprintf(post.postDesc, sizeof post.postDesc, "%s", name);
        return post;
    }

    NNTPmodel_iface queue;
    std::unique_ptr<postNotifier> notifier;
};

TEST_F(PostNotifierTest, TellsOncePerPostWhenItsStageEndsNotForAStageFoundStored) {
    std::mutex lock;
    std::vector<Notice> shown;
    CapturedLog log;
    start([&](const QString& title, const QString& text) {
        std::lock_guard<std::mutex> guard(lock);
        shown.push_back({"tray", title, text});
        return true;
    });
    tpost alpha = named("alpha.nzb"), beta = named("Beta \u00e9t\u00e9");

    report(alpha, ppDone); // found stored at a start or reload: no news
    report(beta, ppWaiting);
    report(beta, ppVerifying);
    beta.ppPercent = 50;
    report(beta, ppUnpacking);
    report(beta, ppDone, "no PAR2 set");
    report(beta, ppDone, "no PAR2 set"); // told again after a reload
    report(alpha, ppWaiting);            // taken up again
    report(alpha, ppFailed, "password needed");
    report(alpha, ppFailed, "password needed");
    queue.notify(updPostStage, nullptr);
    queue.notify(updPostList, &alpha);
    settle();

    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(shown, (std::vector<Notice>{
                         {"tray", QString::fromUtf8("Beta \u00e9t\u00e9"), "done (no PAR2 set)"},
                         {"tray", "alpha.nzb", "failed: password needed"}}));
    EXPECT_EQ(log.notices(), (std::vector<std::string>{
                                 "notice: Beta \u00e9t\u00e9: done (no PAR2 set) (tray message)",
                                 "notice: alpha.nzb: failed: password needed (tray message)"}));
}

class DesktopNotificationTest : public PostNotifierTest {
  protected:
    void SetUp() override {
        if (bus->address.empty()) GTEST_SKIP() << "dbus-daemon is not installed";
        start([](const QString&, const QString&) { return false; }); // no tray shown
    }

    // Registers the stand-in server on a connection of its own, on the UI thread.
    void serve() {
        uiThread->runAndWait([&] {
            server = std::make_unique<NotificationServer>();
            QDBusConnection connection =
                QDBusConnection::connectToBus(QString::fromStdString(bus->address), "server");
            ASSERT_TRUE(connection.registerService("org.freedesktop.Notifications"));
            ASSERT_TRUE(
                connection.registerVirtualObject("/org/freedesktop/Notifications", server.get()));
        });
    }
    void TearDown() override {
        PostNotifierTest::TearDown();
        uiThread->runAndWait([&] {
            QDBusConnection::disconnectFromBus("server");
            server.reset();
        });
    }

    std::unique_ptr<NotificationServer> server;
};

TEST_F(DesktopNotificationTest, WithoutATrayTheNotificationServerGetsIt) {
    serve();
    CapturedLog log;
    tpost post = named("Holiday <2026> & more");
    report(post, ppRepairing);
    report(post, ppFailed, "3 blocks missing, 1 available");
    ASSERT_TRUE(waitUntil([&] { return log.notices().size() == 1; })) << log.text();
    EXPECT_EQ(server->notices(), (std::vector<Notice>{{"Corvane", "Holiday <2026> & more",
                                                       "failed: 3 blocks missing, 1 available"}}));
    EXPECT_EQ(log.notices()[0], "notice: Holiday <2026> & more: failed: 3 blocks missing, 1 "
                                "available (desktop notification)");
}

TEST_F(DesktopNotificationTest, ABusWithoutAServerLeavesOnlyTheLogLine) {
    CapturedLog log;
    tpost post = named("quiet");
    report(post, ppUnpacking);
    report(post, ppDone);
    ASSERT_TRUE(waitUntil([&] { return log.notices().size() == 1; })) << log.text();
    const std::string line = log.notices()[0];
    EXPECT_EQ(line.rfind("notice: quiet: done (no desktop notification: ", 0), 0u) << line;
}

// The real program, without a tray: a post downloaded from our news server ends its
// post-processing (no PAR2 set, nothing to unpack) and the notification server hears of
// it once; neither a reload nor the next start tells it again.
TEST_F(DesktopNotificationTest, TheProgramTellsOfAFinishedPostOnceOnly) {
    serve();
    ServedPost post("corvane_notice_post", "notes.bin", 50 * 1000);
    ASSERT_NE(post.port(), 0);
    CorvaneInstance corvane("corvane_notice");
    downloadWithoutWindow(corvane, post);
    ASSERT_TRUE(corvane.start({post.nzb}));
    ASSERT_TRUE(corvane.waitForLog("notice: ", 120)) << corvane.log();
    ASSERT_TRUE(waitUntil([&] { return server->notices().size() == 1; }));
    const Notice told = server->notices()[0];
    EXPECT_EQ(told.program, "Corvane");
    EXPECT_EQ(told.text, "done (no PAR2 set)");
    EXPECT_NE(corvane.log().find("notice: " + told.title.toStdString() +
                                 ": done (no PAR2 set) (desktop notification)"),
              std::string::npos)
        << corvane.log();

    const int loads = corvane.logCount("loaded ");
    ASSERT_EQ(corvane.message({"r"}), 0);
    ASSERT_TRUE(corvane.waitForLog("loaded ", 30, loads + 1));
    ASSERT_EQ(corvane.message({"x"}), 0);
    ASSERT_EQ(corvane.waitExit(60), 0);
    ASSERT_TRUE(corvane.start());
    ASSERT_TRUE(corvane.waitForLog("spawn:", 30));
    ASSERT_EQ(corvane.message({"x"}), 0);
    ASSERT_EQ(corvane.waitExit(60), 0);
    EXPECT_EQ(corvane.logCount("notice: "), 0) << corvane.log();
    EXPECT_EQ(server->notices().size(), 1u);
    if (HasFailure()) corvane.keep();
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new NotifierEnvironment);
    return RUN_ALL_TESTS();
}
