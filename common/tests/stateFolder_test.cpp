// Where the tools keep their state, and the user's download folder, with temporary
// HOME and XDG folders.
#include "ScopedVariable.h"
#include "XdgFolders.h"
#include "XdgSandbox.h"
#include "stateFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(StateFolder, ChosenFolderThenWritableBuildTreeThenTheUsersDataFolder) {
    XdgSandbox xdg;
    const std::string build = xdg.file("build"), bin = build + "/bin",
                      installed = xdg.file("usr/bin");
    fs::create_directories(bin);
    fs::create_directories(installed);
    writeFile(build + "/CMakeCache.txt", "");

    ScopedVariable chosen("CORVANE_HOME", xdg.file("elsewhere").c_str());
    tstateFolder state = locateStateFolder("CORVANE_HOME", "corvane", installed);
    EXPECT_EQ(state.path, xdg.file("elsewhere"));
    EXPECT_FALSE(state.perUser);

    ScopedVariable notChosen("CORVANE_HOME", "");
    state = locateStateFolder("CORVANE_HOME", "corvane", bin);
    EXPECT_EQ(state.path, bin) << "a build keeps working in place";
    EXPECT_FALSE(state.perUser);

    state = locateStateFolder("CORVANE_HOME", "corvane", installed);
    EXPECT_EQ(state.path, xdg.dataHome() + "/corvane");
    EXPECT_TRUE(state.perUser);
    EXPECT_FALSE(fs::exists(state.path)) << "the program makes it, not the lookup";

    // A relative XDG_DATA_HOME is ignored, as the base directory rules say.
    ScopedVariable relative("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(locateStateFolder("MIRAVEL_HOME", "miravel", installed).path,
              xdg.file("home") + "/.local/share/miravel");
    ScopedVariable noHome("HOME", nullptr);
    EXPECT_EQ(locateStateFolder("MIRAVEL_HOME", "miravel", installed).path, "");
}

TEST(UserDownloadFolder, TheUsersNamedFolderElseHome) {
    XdgSandbox xdg;
    // What xdg-user-dir answers: its own default first, then the user's setting.
    EXPECT_EQ(userDownloadFolder(), xdg.file("home"));
    writeFile(xdg.configHome() + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/My Downloads\"\n");
    EXPECT_EQ(userDownloadFolder(), xdg.file("home") + "/My Downloads");

    // Without the tool the answer is the same default.
    ScopedVariable noTools("PATH", xdg.file("nothing").c_str());
    EXPECT_EQ(userDownloadFolder(), xdg.file("home"));
}

} // namespace
