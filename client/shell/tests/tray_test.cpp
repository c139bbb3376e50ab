// The real corvane program's tray icon on a real X server (Xvfb) with a real tray host
// (trayer): the icon docks, a double click asks for the window, the menu's Exit ends
// the program, and a finished post is told in the icon's message. The desktop tools come
// from the setup script; without them the test is skipped.
#include "Background.h"
#include "CorvaneInstance.h"
#include "ServedPostSettings.h"
#include "childProcess.h"
#include "execReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const auto kPoll = std::chrono::milliseconds(50);
const int kLimitSeconds = 20;

// Xvfb on a display number it picks itself; `display` is empty when it did not start.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int number[2];
        if (pipe2(number, O_CLOEXEC) != 0) return;
        server.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                                "-screen", "0", "1024x768x24"},
                       number[1]);
        close(number[1]);
        // Kept open while the server runs: it writes the number again at each reset.
        numberPipe = number[0];
        char text[16] = {};
        ssize_t length = server->running() ? read(numberPipe, text, sizeof text - 1) : 0;
        if (length > 0) display = ":" + std::to_string(atoi(text));
    }
    ~VirtualDisplay() {
        server.reset();
        if (numberPipe >= 0) close(numberPipe);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    std::string display;

  private:
    std::optional<Background> server;
    int numberPipe = -1;
};

// Runs a desktop tool found on PATH and waits for it.
tchildRun runTool(std::vector<std::string> arguments) {
    arguments[0] = locateProgram(arguments[0], {});
    return runChild(arguments);
}

std::string windowTree() {
    return runTool({"xwininfo", "-root", "-tree"}).output;
}

// Where a window of the tree is on the screen: its absolute position and size.
struct Place {
    int x = 0, y = 0, width = 0, height = 0;
};

// The tray icon of corvane as docked into the tray host, or nothing yet.
std::optional<Place> dockedIcon() {
    std::istringstream tree(windowTree());
    std::string line;
    while (std::getline(tree, line)) {
        // e.g. 0x400006 "corvane": ("corvane" "corvane")  22x24+0+0  +1+999
        if (line.find("\"corvane\": (\"corvane\" \"corvane\")") == std::string::npos) continue;
        Place place;
        size_t size = line.find(')') + 1;
        int relativeX = 0, relativeY = 0;
        if (sscanf(line.c_str() + size, " %dx%d%d%d %d%d", &place.width, &place.height, &relativeX,
                   &relativeY, &place.x, &place.y) == 6)
            return place;
    }
    return std::nullopt;
}

// How many windows of corvane are shown on the screen now.
int shownWindows() {
    std::string ids = runTool({"xdotool", "search", "--onlyvisible", "--class", "corvane"}).output;
    return (int)std::count(ids.begin(), ids.end(), '\n');
}

// The tray host's panel is on the screen: from then on it owns the notification area,
// which the program looks for once, at its start.
bool trayHostShown() {
    return windowTree().find("\"panel\": (\"panel\" \"trayer\")") != std::string::npos;
}

bool onPath(const char* program) {
    return !locateProgram(program, {}).empty();
}

// The icon once it has docked, or nothing when it does not within the limit.
std::optional<Place> awaitDockedIcon() {
    std::optional<Place> icon;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLimitSeconds);
    while (!(icon = dockedIcon()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPoll);
    return icon;
}

// Xvfb with trayer's panel shown on it, the display set for the programs started next.
class TrayDesktop {
  public:
    TrayDesktop() {
        if (screen.display.empty()) return;
        setenv("DISPLAY", screen.display.c_str(), 1);
        unsetenv("QT_QPA_PLATFORM");
        trayHost.emplace(std::vector<std::string>{"trayer"});
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLimitSeconds);
        while (trayHost->running() && !trayHostShown() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kPoll);
        shown = trayHostShown();
    }
    bool shown = false;

  private:
    VirtualDisplay screen;
    std::optional<Background> trayHost;
};

TEST(Tray, TheIconDocksInTheTrayHostAndItsDoubleClickAndExitWork) {
    for (const char* tool : {"Xvfb", "trayer", "xdotool", "xwininfo"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh)";
    TrayDesktop desktop;
    ASSERT_TRUE(desktop.shown) << windowTree();

    CorvaneInstance corvane("corvane_tray");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    ASSERT_TRUE(corvane.start());
    std::optional<Place> icon = awaitDockedIcon();
    ASSERT_TRUE(icon) << windowTree();
    EXPECT_EQ(corvane.log().find("tray: no notification area"), std::string::npos);

    std::string x = std::to_string(icon->x + icon->width / 2);
    std::string y = std::to_string(icon->y + icon->height / 2);
    // A double click is "Show..": a messenger asks the instance for the window, which
    // is missing here.
    ASSERT_EQ(
        runTool({"xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "100", "1"})
            .exitCode,
        0);
    EXPECT_TRUE(corvane.waitForLog("\rg \r", kLimitSeconds));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Loadlib", kLimitSeconds));

    // The menu opens on the right button; Up wraps to its last entry, "Exit".
    int shownBefore = shownWindows();
    ASSERT_EQ(runTool({"xdotool", "mousemove", x, y, "click", "3"}).exitCode, 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLimitSeconds);
    while (shownWindows() <= shownBefore && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPoll);
    ASSERT_GT(shownWindows(), shownBefore) << "no menu came up";
    ASSERT_EQ(runTool({"xdotool", "key", "Up", "Return"}).exitCode, 0);
    EXPECT_EQ(corvane.waitExit(60), 0);
    std::string log = corvane.log();
    EXPECT_NE(log.find("handle cmd: 65535"), std::string::npos) << log;
    EXPECT_NE(log.find("trayexit"), std::string::npos) << log;
    EXPECT_FALSE(dockedIcon());
    if (HasFailure()) corvane.keep();
}

// A desktop whose notification area comes up after the program: the icon docks then.
TEST(Tray, TheIconDocksInATrayHostStartedLater) {
    for (const char* tool : {"Xvfb", "trayer", "xwininfo"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh)";
    VirtualDisplay screen;
    ASSERT_FALSE(screen.display.empty());
    setenv("DISPLAY", screen.display.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");

    CorvaneInstance corvane("corvane_tray_later");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    ASSERT_TRUE(corvane.start());
    ASSERT_TRUE(corvane.waitForLog("tray: no notification area", kLimitSeconds));
    Background trayHost({"trayer"});
    ASSERT_TRUE(trayHost.running());
    EXPECT_TRUE(awaitDockedIcon()) << windowTree();
    EXPECT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(corvane.waitExit(60), 0);
    if (HasFailure()) corvane.keep();
}

// A post that ends its post-processing while the icon is docked is told in the icon's
// message, not over the session bus.
TEST(Tray, AFinishedPostIsToldInTheIconsMessage) {
    for (const char* tool : {"Xvfb", "trayer", "xwininfo"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh)";
    TrayDesktop desktop;
    ASSERT_TRUE(desktop.shown) << windowTree();
    ServedPost post("corvane_tray_post", "notes.bin", 50 * 1000);
    ASSERT_NE(post.port(), 0);

    CorvaneInstance corvane("corvane_tray_notice");
    downloadWithoutWindow(corvane, post);
    ASSERT_TRUE(corvane.start());
    ASSERT_TRUE(awaitDockedIcon()) << windowTree();
    ASSERT_EQ(corvane.message({post.nzb}), 0);
    ASSERT_TRUE(corvane.waitForLog("notice: ", 120)) << corvane.log();
    EXPECT_EQ(corvane.logCount("notice: post.nzb: done (no PAR2 set) (tray message)"), 1)
        << corvane.log();
    EXPECT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(corvane.waitExit(60), 0);
    EXPECT_EQ(corvane.logCount("notice: "), 1);
    if (HasFailure()) corvane.keep();
}

} // namespace
