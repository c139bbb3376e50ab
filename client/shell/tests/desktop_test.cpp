// The real corvane program on the desktop side: its UI thread, the tray icon and the
// window library loaded at run time, without a tray host and without any display.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "ScopedVariable.h"
#include "ServedPost.h"
#include "ServerSections.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* kNoTray = "tray: no notification area on this desktop yet, the icon waits for one";
const std::string kWindowLibrary = CORV_BIN_DIR "/libglimmerpane.so";

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// A display number that no X server on this machine holds.
std::string unusedDisplay() {
    int number = 99;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
           fs::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        ++number;
    return ":" + std::to_string(number);
}

class Desktop : public ::testing::Test {
  protected:
    void TearDown() override {
        if (HasFailure()) {
            corvane.keep();
            fprintf(stderr, "kept %s\n", corvane.home().c_str());
        }
    }

    // Ends the instance with "x" as a user would; the tray goes last.
    void endAndExpectTrayExit() {
        ASSERT_EQ(corvane.message({"x"}), 0);
        EXPECT_EQ(corvane.waitExit(60), 0);
        std::string log = corvane.log();
        size_t unload = log.find("\ru\r");
        ASSERT_NE(unload, std::string::npos) << log;
        EXPECT_NE(log.find("trayexit", unload), std::string::npos) << log;
    }

    ScopedVariable platform{"QT_QPA_PLATFORM", "offscreen"};
    CorvaneInstance corvane{"corvane_desktop"};
};

TEST_F(Desktop, WithoutTheWindowLibraryTheInstanceRunsOnWithoutTrayAndDownloads) {
    ServedPost post("corvane_desktop_post", "notes.bin", 500 * 1000);
    ASSERT_NE(post.port(), 0);

    // autoloadGUI is on by default: the start asks for the window at once.
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "127.0.0.1", post.port(), 1, 2);
    DownloadWatch watch(corvane.home());
    ASSERT_TRUE(corvane.start({post.nzb}));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Loadlib", 10));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Procaddr init", 10));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Procaddr term", 10));
    EXPECT_TRUE(corvane.waitForLog(kNoTray, 10));

    // The download goes on without window and tray.
    ASSERT_TRUE(watch.waitForDecoded(1, 120, nullptr)) << corvane.log();
    EXPECT_TRUE(readFile(corvane.home() + "/download/notes.bin") == readFile(post.original));

    // Every later "g" tries the library again; the tray line stays a single one.
    ASSERT_EQ(corvane.message({"g"}), 0);
    EXPECT_TRUE(corvane.waitForLog("ERROR: Loadlib", 20, 2));
    EXPECT_EQ(count(corvane.log(), kNoTray), 1);
    endAndExpectTrayExit();
}

TEST_F(Desktop, TheWindowLibraryComesWithGAndEndsWithTheInstance) {
    if (!fs::exists(kWindowLibrary)) GTEST_SKIP() << kWindowLibrary << " is not built";
    fs::copy_file(kWindowLibrary, corvane.home() + "/libglimmerpane.so");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    // Closing the window leaves the program running, and no About box comes up first.
    corvane.configure("DEFAULT", "autoclose", "0");
    corvane.configure("DEFAULT", "showabout", "0");
    ASSERT_TRUE(corvane.start());
    EXPECT_EQ(count(corvane.log(), "start: Corvane Gui"), 0);

    ASSERT_EQ(corvane.message({"g"}), 0);
    EXPECT_TRUE(corvane.waitForLog("start: Corvane Gui", 20));
    // "u" ends the window; the library stays mapped, and the next "g" starts it afresh.
    ASSERT_EQ(corvane.message({"u"}), 0);
    EXPECT_TRUE(corvane.waitForLog("term:  Corvane Gui", 20));
    ASSERT_EQ(corvane.message({"g"}), 0);
    EXPECT_TRUE(corvane.waitForLog("start: Corvane Gui", 20, 2));

    endAndExpectTrayExit();
    std::string log = corvane.log();
    EXPECT_EQ(count(log, "ERROR:"), 0) << log;
    EXPECT_EQ(count(log, "term:  Corvane Gui"), 2) << log;
    EXPECT_LT(log.rfind("term:  Corvane Gui"), log.find("trayexit")) << log;
}

TEST_F(Desktop, WithoutADisplayOrWithADeadOneQtFallsBackToOffscreen) {
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    // The program chooses its platform itself, as when started by a user.
    ScopedVariable ownPlatform("QT_QPA_PLATFORM", nullptr);
    ScopedVariable noWayland("WAYLAND_DISPLAY", nullptr);
    {
        ScopedVariable noDisplay("DISPLAY", nullptr);
        ASSERT_TRUE(corvane.start());
        EXPECT_TRUE(corvane.waitForLog(kNoTray, 20));
        endAndExpectTrayExit();
    }
    ScopedVariable deadDisplay("DISPLAY", unusedDisplay().c_str());
    ASSERT_TRUE(corvane.start());
    EXPECT_TRUE(corvane.waitForLog(kNoTray, 20));
    endAndExpectTrayExit();
}

} // namespace
