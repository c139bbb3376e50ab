// The console interface: the command reader's line table against a recording model,
// and the real corvane program driven from the keyboard of a tmux pane (its
// controlling terminal), with "t" sent by a messenger.
#include "CorvaneInstance.h"
#include "NNTPtui.h"
#include "TestFolders.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A model that only records the commands it is given, on whatever thread.
class RecordingModel : public NNTPmodel_iface {
  public:
    struct Command {
        unsigned cmd;
        unsigned argument;
    };

    void handleCommandT(unsigned cmd, void* p1, void*) override {
        std::lock_guard<std::mutex> guard(lock);
        commands.push_back({cmd, (unsigned)(uintptr_t)p1});
        arrived.notify_all();
    }

    // The commands received once there are `count` of them; fewer after a long wait.
    std::vector<Command> await(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait_for(guard, std::chrono::seconds(30), [&] { return commands.size() >= count; });
        return commands;
    }

  private:
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Command> commands;
};

struct LineRow {
    const char* line;
    unsigned cmd;
    unsigned argument;
    int result;
};

TEST(ConsoleCommands, EachLineSendsItsCommand) {
    const LineRow rows[] = {
        {"a", cmdClientEnable, 0x100FF, 1},
        {"A", cmdClientEnable, 0xFF, 1},
        {"e1", cmdClientEnable, 0x10001, 1},
        {"E1", cmdClientEnable, 0x1, 1},
        {"e257", cmdClientEnable, 0x10001, 1},
        {"E255", cmdClientEnable, 0xFF, 1},
        {"e12 and more", cmdClientEnable, 0x1000C, 1},
        {"d", cmdDecoderEnable, 1, 1},
        {"D", cmdDecoderEnable, 0, 1},
        {"p", cmdQueueEnable, 1, 1},
        {"P", cmdQueueEnable, 0, 1},
        {"pause everything", cmdQueueEnable, 1, 1},
        {"x", cmdTerminate, 0, 0},
    };
    for (const LineRow& row : rows) {
        SCOPED_TRACE(row.line);
        RecordingModel model;
        NNTPtui view(&model, -1);
        std::string line = row.line;
        EXPECT_EQ(view.reader.handle(line.data()), row.result);
        std::vector<RecordingModel::Command> got = model.await(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].cmd, row.cmd);
        EXPECT_EQ(got[0].argument, row.argument);
    }
}

// A line that sends nothing: the command sent right after it is the only one to arrive.
TEST(ConsoleCommands, IgnoredLinesSendNothing) {
    const LineRow rows[] = {{"e", 0, 0, 1}, {"Ez", 0, 0, 1}, {"", 0, 0, 1},    {"z", 0, 0, 1},
                            {"?", 0, 0, 1}, {"q", 0, 0, 0},  {"quit", 0, 0, 0}};
    for (const LineRow& row : rows) {
        SCOPED_TRACE(row.line);
        RecordingModel model;
        NNTPtui view(&model, -1);
        std::string line = row.line;
        EXPECT_EQ(view.reader.handle(line.data()), row.result);
        char marker[] = "D";
        view.reader.handle(marker);
        std::vector<RecordingModel::Command> got = model.await(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].cmd, (unsigned)cmdDecoderEnable);
    }
}

// What a console over `model` writes to its terminal while `act(view)` runs.
template <class Act> std::string consoleShows(NNTPmodel_iface& model, Act act) {
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    {
        NNTPtui view(&model, pipeEnds[1]);
        act(view);
    }
    close(pipeEnds[1]);
    std::string shown;
    char buffer[256];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        shown.append(buffer, (size_t)count);
    close(pipeEnds[0]);
    return shown;
}

TEST(ConsoleCommands, SubmittingClearsTheTerminalLine) {
    RecordingModel model;
    char line[] = "q";
    EXPECT_EQ(consoleShows(model, [&](NNTPtui& view) { view.reader.handle(line); }),
              "\r" + std::string(79, ' ') + "\r");
}

// A queue of two posts, one of them already done when the console starts.
class StagedQueue : public NNTPmodel_iface {
  public:
    StagedQueue() {
        snprintf(posts[0].postDesc, sizeof posts[0].postDesc, "%s", "first.nzb");
        posts[0].ppStage = ppDone;
        snprintf(posts[0].ppNote, sizeof posts[0].ppNote, "%s", "no PAR2 set");
        snprintf(posts[1].postDesc, sizeof posts[1].postDesc, "%s", "second.nzb");
    }
    void qposts(std::vector<int>* ids) override { *ids = {0, 1}; }
    tpost* qpost(int pid) override { return pid == 0 || pid == 1 ? &posts[pid] : nullptr; }

    tpost posts[2];
};

class StagedModel : public RecordingModel {
  public:
    NNTPmodel_iface* getqueue() override { return &queue; }
    StagedQueue queue;
};

TEST(ConsoleStages, TheStagesAtTheStartThenEachChangeOfStage) {
    StagedModel model;
    tpost& second = model.queue.posts[1];
    const std::string shown = consoleShows(model, [&](NNTPtui&) {
        std::thread([&] {
            for (int stage : {ppWaiting, ppVerifying, ppUnpacking, ppUnpacking, ppFailed}) {
                second.ppStage = stage;
                second.ppPercent += 30;
                if (stage == ppFailed) snprintf(second.ppNote, sizeof second.ppNote, "disk full");
                model.queue.notify(updPostStage, &second);
            }
            model.queue.notify(updPostStage, &model.queue.posts[0]); // unchanged
        }).join();
    });
    const std::string clear = "\r" + std::string(79, ' ') + "\r";
    EXPECT_EQ(shown, clear + "first.nzb: done (no PAR2 set)\r\n" + clear +
                         "second.nzb: waiting\r\n" + clear + "second.nzb: verifying\r\n" + clear +
                         "second.nzb: unpacking 90 %\r\n" + clear +
                         "second.nzb: failed: disk full\r\n");
    // A console started later lists each post at the stage it is in now.
    EXPECT_EQ(consoleShows(model, [](NNTPtui&) {}), clear + "first.nzb: done (no PAR2 set)\r\n" +
                                                        clear +
                                                        "second.nzb: failed: disk full\r\n");
}

TEST(ConsoleCommands, NullModelStartsNothing) {
    EXPECT_EQ(loadtui(nullptr), nullptr);
}

bool tmuxInstalled() {
    return system("command -v tmux >/dev/null 2>&1") == 0;
}

// One tmux server of our own with one pane: the program started in it has a terminal.
// Its socket lies in `folder`, so nothing of it outlives the test.
class TmuxPane {
  public:
    explicit TmuxPane(const std::string& folder) : server(folder + "/tmux.socket") {}
    ~TmuxPane() { tmux("kill-server"); }

    bool start(const std::string& shellCommand) {
        return tmux("new-session -d -s console -x 200 -y 50 \"" + shellCommand + "\"");
    }
    // `text` typed literally (no single quotes in it).
    bool type(const std::string& text) { return tmux("send-keys -t console -l '" + text + "'"); }
    // A named key: Enter, Escape.
    bool press(const char* key) { return tmux(std::string("send-keys -t console ") + key); }
    bool submit(const std::string& text) { return type(text) && press("Enter"); }
    // What the pane shows now.
    std::string screen() {
        std::string command = "tmux -S " + server + " capture-pane -p -t console 2>/dev/null";
        std::string shown;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
                shown.append(buffer, count);
            pclose(pipe);
        }
        return shown;
    }

  private:
    bool tmux(const std::string& arguments) {
        std::string command = "tmux -S " + server + " " + arguments + " >/dev/null 2>&1";
        return system(command.c_str()) == 0;
    }
    std::string server; // socket path
};

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The exit code a shell wrote to `path` once the program ended; empty after a long wait.
std::string awaitExitCode(const std::string& path) {
    waitUntil([&] { return readFile(path).find('\n') != std::string::npos; },
              std::chrono::seconds(60));
    return readFile(path);
}

// The running instance in a tmux pane. After it ends, the pane's shell writes the
// terminal mode it left behind and its exit code into the program folder.
class ConsoleProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!tmuxInstalled()) GTEST_SKIP() << "tmux is not installed";
        ASSERT_FALSE(corvane.home().empty());
        corvane.configure("DEFAULT", "autoloadGUI", "0");
        const std::string& home = corvane.home();
        // The mode first: the exit code is what the test waits for.
        ASSERT_TRUE(pane.start(
            "CORVANE_HOME=" + home + " " CORV_BIN_DIR "/corvane; code=\\$?; stty -a > " + home +
            "/stty.txt; echo \\$code > " + home + "/exitcode.txt; exec sleep 600"));
        ASSERT_TRUE(corvane.waitForLog("spawn:", 30)) << corvane.log();
    }
    void TearDown() override {
        // A test that stopped half-way leaves no instance behind on the control port.
        if (readFile(exitCodePath()).empty()) {
            corvane.sendRaw("x");
            exitCode();
        }
        if (HasFailure()) {
            corvane.keep();
            fprintf(stderr, "kept %s\n", corvane.home().c_str());
        }
    }

    int count(const std::string& part) const { return occurrences(corvane.log(), part); }

    // Sends "t" and waits for the console's command reader (to the model) and view (to
    // the queue) to attach.
    void openConsole() {
        int attached = count("attach: ");
        ASSERT_EQ(corvane.message({"t"}), 0);
        ASSERT_TRUE(corvane.waitForLog("attach: ", 30, attached + 2)) << corvane.log();
    }

    // Sends "r" and waits for its reload: every earlier message has been handled.
    void awaitEarlierMessages() {
        int reloads = count("loaded ");
        ASSERT_EQ(corvane.message({"r"}), 0);
        ASSERT_TRUE(corvane.waitForLog("loaded ", 30, reloads + 1)) << corvane.log();
    }

    // The model's command threads log without a line end; an empty control message has
    // the instance flush its log.
    bool waitForCommand(const std::string& text) const {
        return waitUntil([&] {
            corvane.sendRaw("");
            usleep(20 * 1000);
            return count(text) > 0;
        });
    }

    // The program's exit code, once the pane's shell has written it.
    std::string exitCodePath() const { return corvane.home() + "/exitcode.txt"; }
    std::string exitCode() const { return awaitExitCode(exitCodePath()); }

    // The terminal is back in line mode with echo after the program.
    void expectTerminalRestored() const {
        std::string mode = readFile(corvane.home() + "/stty.txt");
        EXPECT_NE(mode.find(" icanon"), std::string::npos) << mode;
        EXPECT_NE(mode.find(" echo "), std::string::npos) << mode;
        EXPECT_EQ(mode.find("-icanon"), std::string::npos) << mode;
    }

    CorvaneInstance corvane{"corvane_console"};
    TmuxPane pane{corvane.home()};
};

TEST_F(ConsoleProgram, KeysPauseTheQueueStopWorkersAndEndTheProgram) {
    openConsole();
    int attached = count("attach: ");

    ASSERT_TRUE(pane.submit("p"));
    ASSERT_TRUE(waitForCommand("handle cmd: 1 1 0")) << corvane.log();
    ASSERT_TRUE(pane.submit("P"));
    ASSERT_TRUE(waitForCommand("handle cmd: 1 0 0")) << corvane.log();
    ASSERT_TRUE(pane.submit("a"));
    ASSERT_TRUE(waitForCommand("handle cmd: 2 100ff 0")) << corvane.log();
    ASSERT_TRUE(pane.submit("E255"));
    ASSERT_TRUE(waitForCommand("handle cmd: 2 ff 0")) << corvane.log();
    EXPECT_EQ(count("(en/dis)able client: all"), 2);

    // An e without a number is ignored and the console reads on.
    ASSERT_TRUE(pane.submit("e"));
    ASSERT_TRUE(pane.submit("e1"));
    ASSERT_TRUE(waitForCommand("handle cmd: 2 10001 0")) << corvane.log();
    EXPECT_EQ(count("handle cmd: "), 5) << corvane.log();

    // A second "t" while the console runs starts no second one.
    ASSERT_EQ(corvane.message({"t"}), 0);
    awaitEarlierMessages();
    ASSERT_TRUE(pane.submit("D"));
    ASSERT_TRUE(waitForCommand("handle cmd: 3 0 0")) << corvane.log();
    EXPECT_EQ(count("attach: "), attached);

    int detached = count("detach: ");
    ASSERT_TRUE(pane.submit("x"));
    EXPECT_EQ(exitCode(), "0\n");
    EXPECT_EQ(count("handle cmd: 65535 0 0"), 1);
    // The console's reader and view (from the model and the queue), then the notices.
    EXPECT_EQ(count("detach: "), detached + 4) << corvane.log();
    expectTerminalRestored();
    std::string config = readFile(corvane.home() + "/config.ini");
    EXPECT_NE(config.find("queue=0"), std::string::npos) << config;
    EXPECT_NE(config.find("decoder=0"), std::string::npos) << config;
}

TEST_F(ConsoleProgram, EscapeEndsTheConsoleAndTheNextTStartsAFreshOne) {
    openConsole();
    int detached = count("detach: ");
    // Typed keys are shown on the terminal, not in the log.
    ASSERT_TRUE(pane.type("zqj"));
    EXPECT_TRUE(waitUntil([&] { return pane.screen().find("zqj") != std::string::npos; }))
        << pane.screen();
    EXPECT_EQ(count("zqj"), 0);
    ASSERT_TRUE(pane.press("Escape"));
    ASSERT_TRUE(corvane.waitForLog("detach: ", 30, detached + 3)) << corvane.log();
    EXPECT_EQ(count("handle cmd: "), 0) << corvane.log();

    openConsole();
    // 79 characters go out without Enter; only the first counts.
    ASSERT_TRUE(pane.type("p" + std::string(78, 'z')));
    ASSERT_TRUE(waitForCommand("handle cmd: 1 1 0")) << corvane.log();
    // The next line starts from the beginning of the buffer.
    ASSERT_TRUE(pane.submit("P"));
    ASSERT_TRUE(waitForCommand("handle cmd: 1 0 0")) << corvane.log();

    // The program ends from the control socket while the console waits for a key.
    ASSERT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(exitCode(), "0\n");
    expectTerminalRestored();
}

// Without a controlling terminal "t" logs why and the program goes on.
TEST(ConsoleWithoutTerminal, TStartsNothingAndTheProgramGoesOn) {
    CorvaneInstance corvane("corvane_console_notty");
    ASSERT_FALSE(corvane.home().empty());
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    const std::string& home = corvane.home();
    std::string command = "(CORVANE_HOME=" + home +
                          " setsid -w " CORV_BIN_DIR
                          "/corvane </dev/null >/dev/null 2>&1; echo $? > " +
                          home + "/exitcode.txt) &";
    ASSERT_EQ(system(command.c_str()), 0);
    // Ends the instance when the test stops half-way; answered by nobody otherwise.
    struct SendX {
        const CorvaneInstance& corvane;
        ~SendX() { corvane.sendRaw("x"); }
    } endsTheInstance{corvane};
    ASSERT_TRUE(corvane.waitForLog("spawn:", 30)) << corvane.log();

    const int attached = occurrences(corvane.log(), "attach: "); // the notices'
    ASSERT_EQ(corvane.message({"t"}), 0);
    ASSERT_TRUE(corvane.waitForLog("console: no controlling terminal, no console started", 30))
        << corvane.log();
    EXPECT_EQ(occurrences(corvane.log(), "attach: "), attached);
    // The marker was let go: a second "t" tries again.
    ASSERT_EQ(corvane.message({"t"}), 0);
    ASSERT_TRUE(corvane.waitForLog("console: no controlling terminal", 30, 2)) << corvane.log();

    ASSERT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(awaitExitCode(home + "/exitcode.txt"), "0\n");
}

} // namespace
