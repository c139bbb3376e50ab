// Takes the screenshots of the download window shown in the documentation, from a real
// session on loopback: three posts made with the post maker and served by two slow test
// news servers, the real corvane started with them in a fresh program folder, its window
// loaded from the window library as a user's start would. The pictures show the About
// box of the first start, the main window in the middle of the download (a post
// selected, its files with their progress, the connections at work) and the
// Configuration dialog.
//
//   corvane_screenshots <output folder>
//
// Meant to run under Xvfb without a window manager (scripts/screenshots.sh), on the xcb
// platform: the windows belong to the corvane process and are found, clicked and
// photographed from outside with xdotool and the screen's pixels.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "DownloadWindowDriver.h"
#include "ServerSections.h"
#include "TestNewsServerProcess.h"
#include "XDesktop.h"
#include "YencPostWriter.h"
#include "profile.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ShowcaseFile {
    const char* name;
    std::size_t bytes;
};

struct ShowcasePost {
    const char* nzb; // its name is the post's description in the window
    std::vector<ShowcaseFile> files;
};

const std::size_t MB = 1000 * 1000;

// The first post is the one shown downloading; the others wait behind it in the queue.
const ShowcasePost kPosts[] = {
    {"Mountain.Trip.2026.1080p.nzb",
     {{"mountain-trip.part1.rar", 12 * MB},
      {"mountain-trip.part2.rar", 12 * MB},
      {"mountain-trip.part3.rar", 12 * MB},
      {"mountain-trip.part4.rar", 12 * MB},
      {"mountain-trip.part5.rar", 12 * MB},
      {"mountain-trip.part6.rar", 12 * MB},
      {"mountain-trip.part7.rar", 12 * MB},
      {"mountain-trip.part8.rar", 7 * MB},
      {"mountain-trip.nfo", 3000},
      {"mountain-trip.par2", 40000},
      {"mountain-trip.vol00+04.par2", 1600000},
      {"mountain-trip.vol04+08.par2", 3200000}}},
    {"Garden.Birds.Field.Recordings.nzb",
     {{"garden-birds.flac.001", 20 * MB}, {"garden-birds.flac.002", 9 * MB}}},
    {"Harbour.Photos.Summer.nzb", {{"harbour-photos.zip", 18 * MB}, {"harbour-photos.sfv", 200}}},
};

// The main server waits this long before every answer, so that the download lasts long
// enough to be photographed in its middle.
const char* const kServerDelayMs = "220";

void writeRandomFile(const std::string& path, std::size_t bytes, std::mt19937_64& random) {
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
        std::uint64_t word = random();
        memcpy(&data[i], &word, 8);
    }
    std::ofstream(path, std::ios::binary) << data;
}

struct ShowcaseNzbs {
    std::vector<std::string> paths; // the first post's first
    int firstPostArticles = 0;
};

// Posts every showcase post into `spool`.
ShowcaseNzbs makeShowcasePosts(const std::string& home, const std::string& spool) {
    std::mt19937_64 random(20261208);
    ShowcaseNzbs nzbs;
    for (const ShowcasePost& showcase : kPosts) {
        std::string folder = home + "/originals/" + fs::path(showcase.nzb).stem().string();
        fs::create_directories(folder);
        std::vector<std::string> files;
        for (const ShowcaseFile& file : showcase.files) {
            files.push_back(folder + "/" + file.name);
            writeRandomFile(files.back(), file.bytes, random);
        }
        PostOptions options;
        options.spool = spool;
        options.nzb = home + "/" + showcase.nzb;
        options.subject = fs::path(showcase.nzb).stem().string() + " -";
        std::vector<PostedFile> posted = makePost(files, options);
        if (nzbs.paths.empty())
            for (const PostedFile& file : posted)
                nzbs.firstPostArticles += (int)file.segments.size();
        nzbs.paths.push_back(options.nzb);
    }
    return nzbs;
}

// The layout a user would have left: a window large enough for the posts with their
// progress, placed on the 1280 x 800 screen of the script. No column widths are stored,
// so the lists fit their columns to the content as on a first start.
void setWindowLayout(CorvaneInstance& corvane) {
    const std::int32_t rectangle[4] = {40, 40, 1140, 680}; // left, top, right, bottom
    profile::writeStruct("USERINTERFACE", "wndpos", rectangle, sizeof rectangle,
                         (corvane.home() + "/config.ini").c_str());
    corvane.configure("USERINTERFACE", "hpane", "360");
    corvane.configure("USERINTERFACE", "vpane", "330");
}

// Two of the About box's links have an address; the third stays plain text.
void setAboutLinks(CorvaneInstance& corvane) {
    corvane.configure("DEFAULT", "homepage", "http://127.0.0.1/brindle");
    corvane.configure("DEFAULT", "howto", "http://127.0.0.1/brindle/howto");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string output = fs::absolute(argv[1]).string();
    std::error_code ignored;
    fs::create_directories(output, ignored);
    QGuiApplication app(argc, argv);

    CorvaneInstance corvane("corvane_screenshots");
    const std::string home = corvane.home();
    // A failed session keeps its program folder (log, config.ini, database) for a look.
    auto fail = [&](const char* message) {
        corvane.keep();
        fprintf(stderr, "corvane_screenshots: %s; program folder kept: %s\n", message,
                home.c_str());
        return 1;
    };
    if (home.empty()) return fail("no temporary program folder");
    const std::string spool = home + "/spool";
    fs::create_directories(spool);
    ShowcaseNzbs nzbs;
    try {
        nzbs = makeShowcasePosts(home, spool);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    // The window library is looked for in the program folder.
    std::error_code linkError;
    fs::create_symlink(CORV_BIN_DIR "/libglimmerpane.so", home + "/libglimmerpane.so", linkError);
    if (linkError) return fail("cannot link the window library into the program folder");

    TestNewsServerProcess mainServer({"--spool", spool, "--delay", kServerDelayMs});
    TestNewsServerProcess backupServer({"--spool", spool, "--delay", kServerDelayMs});
    if (!mainServer.port() || !backupServer.port()) return fail("a test news server did not start");
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "127.0.0.1", mainServer.port(), 1, 4);
    // The backup runs one of its two connections: one idle row and one switched off.
    addNewsServer(corvane, "localhost", backupServer.port(), 2, 2);
    corvane.configure("localhost", "numactive", "1");
    setWindowLayout(corvane);
    setAboutLinks(corvane);

    if (!corvane.start({nzbs.paths.front()})) return fail("corvane did not start");
    for (std::size_t i = 1; i < nzbs.paths.size(); ++i)
        corvane.message({nzbs.paths[i]});

    unsigned long mainWindow = xdesktop::waitForWindow(downloadWindow::kTitle, 60);
    if (!mainWindow) return fail("the main window did not appear");
    // The first start opens the About box by itself.
    unsigned long about = xdesktop::waitForWindow("^About Brindle$", 30);
    if (!about) return fail("the About box did not appear");
    DownloadWatch watch(home);
    watch.waitForSaved(8, 60);
    bool saved =
        xdesktop::savePicture(xdesktop::geometry(about), output + "/download-window-about.png");
    xdesktop::pressKeys(about, "Escape");
    if (!xdesktop::waitUntilGone("^About Brindle$", 20)) return fail("the About box stayed");

    const QRect window = xdesktop::geometry(mainWindow);
    downloadWindow::selectFirstPost(mainWindow);
    // Half of the first post: files decoded, one being decoded, one downloading.
    watch.waitForSaved(nzbs.firstPostArticles / 2, 120);
    saved = xdesktop::savePicture(window, output + "/download-window.png") && saved;

    // File > Config, the first item of the first menu.
    xdesktop::pressKeys(mainWindow, "alt+f Return");
    unsigned long configuration = xdesktop::waitForWindow("^Configuration$", 20);
    if (!configuration) return fail("the Configuration dialog did not appear");
    saved = xdesktop::savePicture(xdesktop::geometry(configuration),
                                  output + "/download-window-configuration.png") &&
            saved;
    xdesktop::pressKeys(configuration, "Escape");
    xdesktop::waitUntilGone("^Configuration$", 20);

    corvane.message({"x"});
    if (corvane.waitExit(60) != 0) return fail("corvane did not end cleanly on \"x\"");
    return saved ? 0 : 1;
}
