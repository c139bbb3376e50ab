// The installed programs as a user meets them: installed into a temporary DESTDIR by the
// build's install rules and run from there with temporary HOME and XDG folders; and the
// Debian package made from the same rules.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "InstalledTree.h"
#include "ScopedVariable.h"
#include "ServedPost.h"
#include "ServerSections.h"
#include "TestFolders.h"
#include "XdgSandbox.h"
#include "childProcess.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const char* const kParts[] = {"libglimmerpane.so", "libquillmap.so", "libmiravel.so",
                              "libfetchmill.so",   "libscoutlet.so", "librunwright.so",
                              "libtessaly.so",     "lumo.so",        "pirn.so",
                              "dulo.so",           "yydecode"};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The width of a PNG image, from its header; 0 when it is no PNG.
int pngWidth(const std::string& path) {
    const std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return 0;
    const auto* width = (const unsigned char*)bytes.data() + 16;
    return (width[0] << 24) | (width[1] << 16) | (width[2] << 8) | width[3];
}

// Runs a tool found on PATH until it ends.
tchildRun runTool(std::vector<std::string> command) {
    command[0] = locateProgram(command[0], {});
    return runChild(command);
}

class Installed : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(tree.root().empty()) << tree.log(); }

    const InstalledTree& tree = InstalledTree::get();
    // The installed copies must not find anything through the build's variables.
    ScopedVariable noCorvaneHome{"CORVANE_HOME", nullptr};
    ScopedVariable noMiravelHome{"MIRAVEL_HOME", nullptr};
    ScopedVariable offscreen{"QT_QPA_PLATFORM", "offscreen"};
};

TEST_F(Installed, ProgramsPartsAndDesktopFilesLieWhereTheDesktopLooks) {
    std::set<std::string> programs;
    for (const auto& entry : fs::directory_iterator(tree.usr("bin")))
        programs.insert(entry.path().filename().string());
    EXPECT_EQ(programs, (std::set<std::string>{"corvane", "miravel"}));
    for (const char* part : kParts)
        EXPECT_TRUE(fs::is_regular_file(tree.usr("lib/corvane/") + part)) << part;

    for (const char* entry : {"corvane.desktop", "miravel.desktop"}) {
        const std::string path = tree.usr("share/applications/") + entry;
        tchildRun check = runTool({"desktop-file-validate", path});
        EXPECT_EQ(check.exitCode, 0) << entry << ": " << check.output;
        EXPECT_EQ(check.output, "") << entry;
    }
    const std::string corvaneEntry = readFile(tree.usr("share/applications/corvane.desktop"));
    EXPECT_TRUE(contains(corvaneEntry, "\nMimeType=application/x-nzb;\n"));
    EXPECT_TRUE(contains(corvaneEntry, "\nExec=corvane %f\n"));

    const std::string mime = readFile(tree.usr("share/mime/packages/corvane-nzb.xml"));
    EXPECT_TRUE(contains(mime, "<mime-type type=\"application/x-nzb\">"));
    EXPECT_TRUE(contains(mime, "<glob pattern=\"*.nzb\"/>"));
    EXPECT_TRUE(contains(mime, "<glob pattern=\"*.nzb.gz\"/>"));

    for (int size : {16, 24, 32, 48, 64, 96, 128, 256}) {
        const std::string side = std::to_string(size);
        EXPECT_EQ(
            pngWidth(tree.usr("share/icons/hicolor/" + side + "x" + side + "/apps/corvane.png")),
            size);
    }
    for (const char* page : {"corvane.1.gz", "miravel.1.gz"})
        EXPECT_EQ(runTool({"gzip", "-t", tree.usr("share/man/man1/") + page}).exitCode, 0) << page;

    // The unit names the program where the package puts it, whatever the build's prefix.
    const std::string unit = readFile(tree.usr("lib/systemd/user/corvane.service"));
    EXPECT_TRUE(contains(unit, "\nExecStart=/usr/bin/corvane --no-window\n")) << unit;
}

TEST_F(Installed, HelpVersionAndUnknownOptionsAnswerBeforeAnythingStarts) {
    XdgSandbox xdg;
    for (const char* name : {"corvane", "miravel"}) {
        const std::string program = tree.usr("bin/") + name;
        tchildRun help = runChild({program, "--help"});
        EXPECT_EQ(help.exitCode, 0) << name;
        EXPECT_EQ(help.output.rfind("usage: ", 0), 0u) << help.output;

        tchildRun version = runChild({program, "--version"});
        EXPECT_EQ(version.exitCode, 0) << name;
        EXPECT_EQ(version.output.rfind(std::string(name) + " ", 0), 0u) << version.output;
        EXPECT_EQ(std::count(version.output.begin(), version.output.end(), '\n'), 1);

        for (const char* option : {"--frobnicate", "-z"}) {
            tchildRun bad = runChild({program, option, "x"});
            EXPECT_EQ(bad.exitCode, 2) << name << " " << option;
            EXPECT_EQ(bad.output, std::string(name) + ": unknown option " + option + " (" + name +
                                      " --help lists the options)\n");
        }
    }
    EXPECT_TRUE(fs::is_empty(xdg.dataHome())) << "no state folder was made";
}

TEST_F(Installed, KeepsStateForTheUserFindsItsPartsAndDownloadsWithoutAWindow) {
    XdgSandbox xdg;
    const std::string downloads = xdg.file("home/Fetched");
    writeFile(xdg.configHome() + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    const auto before = treeSnapshot(tree.root());
    const std::string state = xdg.dataHome() + "/corvane";

    // The first start makes the state folder, with the user's download folder.
    CorvaneInstance corvane(tree.usr("bin/corvane"), state);
    ASSERT_TRUE(corvane.start({"--no-window"}));
    for (const char* path : {"config.ini", "data/articles.db", "temp", "debugnntp.txt"})
        EXPECT_TRUE(fs::exists(state + "/" + path)) << path;
    EXPECT_EQ(fs::status(state).permissions(), fs::perms::owner_all) << "it holds passwords";
    EXPECT_EQ(profile::getString("DEFAULT", "downloadto", "", (state + "/config.ini").c_str()),
              downloads);
    EXPECT_TRUE(fs::is_directory(downloads));
    // A later start without a window and without words hands nothing over.
    EXPECT_EQ(corvane.message({"--no-window"}), 0);
    ASSERT_EQ(corvane.message({"x"}), 0);
    ASSERT_EQ(corvane.waitExit(60), 0);
    EXPECT_TRUE(contains(corvane.log(), "\rx \r"));
    EXPECT_FALSE(contains(corvane.log(), "\rg\r"));

    ServedPost post("installed_post", "notes.bin", 300 * 1000);
    ASSERT_NE(post.port(), 0);
    addNewsServer(corvane, "127.0.0.1", post.port(), 1, 2);
    corvane.configure("DEFAULT", "showabout", "0");
    // Segment files and yydecode, so the decode shows where yydecode was found.
    corvane.configure("DEFAULT", "directwrite", "0");

    DownloadWatch watch(state);
    ASSERT_TRUE(corvane.start({"--no-window", post.nzb}));
    ASSERT_TRUE(watch.waitForDecoded(1, 120, nullptr)) << corvane.log();
    EXPECT_EQ(readFile(downloads + "/notes.bin"), readFile(post.original));
    EXPECT_TRUE(contains(corvane.log(), "exec: " + tree.usr("lib/corvane/yydecode") + " "))
        << "yydecode comes from the library folder:\n"
        << corvane.log();

    // The window library comes from the library folder too, when asked for.
    EXPECT_FALSE(contains(corvane.log(), "start: Corvane Gui"));
    ASSERT_EQ(corvane.message({"g"}), 0);
    EXPECT_TRUE(corvane.waitForLog("start: Corvane Gui", 30)) << corvane.log();
    EXPECT_FALSE(contains(corvane.log(), "ERROR: Loadlib"));
    ASSERT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(corvane.waitExit(60), 0);

    // The search tool's plug-ins are found; its state goes to the user's folder too.
    tchildRun engines = runChild({tree.usr("bin/miravel"), "--list-engines", "--quiet"});
    EXPECT_EQ(engines.exitCode, 0) << engines.output;
    for (const char* engine : {"binsearch", "nzbindex", "yabsearch"})
        EXPECT_TRUE(contains(engines.output, engine)) << engines.output;
    EXPECT_TRUE(fs::is_directory(xdg.dataHome() + "/miravel/cfg"));

    EXPECT_EQ(treeSnapshot(tree.root()), before) << "nothing is written under the prefix";
}

// The search window at its start makes the installed desktop entry the opener of NZB
// files when there is no association, and writes no entry of its own.
TEST_F(Installed, SearchWindowRegistersTheInstalledEntry) {
    XdgSandbox xdg;
    ScopedVariable dataDirs("XDG_DATA_DIRS", tree.usr("share").c_str());
    const std::string path = tree.usr("bin") + ":" + (getenv("PATH") ? getenv("PATH") : "");
    ScopedVariable onPath("PATH", path.c_str());
    const std::string output = xdg.file("miravel.out");
    const std::string program = tree.usr("bin/miravel");

    pid_t window = fork();
    if (window == 0) {
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), (char*)nullptr);
        _exit(127);
    }
    ASSERT_GT(window, 0);
    const std::string mimeapps = xdg.configHome() + "/mimeapps.list";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!contains(readFile(mimeapps), "application/x-nzb=corvane.desktop") &&
           std::chrono::steady_clock::now() < deadline && waitpid(window, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(window, SIGKILL);
    waitpid(window, nullptr, 0);

    EXPECT_EQ(readFile(mimeapps), "[Default Applications]\napplication/x-nzb=corvane.desktop\n")
        << readFile(output);
    EXPECT_FALSE(fs::exists(xdg.dataHome() + "/applications/corvane.desktop"));
    EXPECT_TRUE(fs::is_directory(xdg.dataHome() + "/miravel/cfg"));
}

// The package is made from the same rules: the same files, and Depends computed from
// what the programs link.
TEST_F(Installed, PackageHoldsWhatTheInstallRulesInstall) {
    TempFolder out("brindle_package");
    tchildRun cpack =
        runChild({CORV_CPACK, "--config", CORV_BUILD_DIR "/CPackConfig.cmake", "-B", out.path});
    ASSERT_EQ(cpack.exitCode, 0) << cpack.output;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(out.path))
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    ASSERT_FALSE(deb.empty()) << cpack.output;
    EXPECT_EQ(fs::path(deb).filename().string().rfind("corvane_", 0), 0u) << deb;

    tchildRun listing = runTool({"dpkg-deb", "-c", deb});
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    std::set<std::string> packaged;
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find(" ./");
        if (at == std::string::npos || line.back() == '/') continue; // folders
        packaged.insert(line.substr(at + 3));
    }
    std::set<std::string> installed;
    for (const auto& [file, stamp] : treeSnapshot(tree.root()))
        installed.insert(file);
    EXPECT_EQ(packaged, installed);

    tchildRun depends = runTool({"dpkg-deb", "-f", deb, "Depends"});
    for (const char* package : {"libc6", "libsqlite3-0", "libqt6widgets6", "xdg-utils"})
        EXPECT_TRUE(contains(depends.output, package)) << depends.output;
    tchildRun unit = runChild({"/bin/sh", "-c",
                               "dpkg-deb --fsys-tarfile \"$0\" | tar -xOf - "
                               "./usr/lib/systemd/user/corvane.service",
                               deb});
    EXPECT_TRUE(contains(unit.output, "\nExecStart=/usr/bin/corvane --no-window\n")) << unit.output;
}

} // namespace
