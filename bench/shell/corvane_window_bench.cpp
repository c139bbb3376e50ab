// How the download window holds up during a large download, and what it costs the
// download: the real corvane downloads the 1 GiB post of corvane_download_bench from one
// test news server with 8 connections, in turns without its window and with it (the
// window library loaded at the start, as on a desktop). With the window, its UI thread
// runs a 10 ms timer (CORVANE_UI_PROBE) whose lateness at every tick is written out when
// the window closes: the median and the 99th percentile say how promptly the window
// answers while the engine notifies it of every segment.
//
//   corvane_window_bench [--runs 3] [--size MIB] [--files N] [--connections 8]
//                        [--segments-in DIR]
//
// Run it under Xvfb (scripts/bench.sh does) for a window on a real X server: the bench
// then clicks the first post as soon as the window shows, so the file list repaints
// the progress of the files being downloaded, as a user watching would have it. Without
// a display corvane falls back to the offscreen platform, which still paints, but the
// file list stays empty.
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadTimeline.h"
#include "DownloadWatch.h"
#include "DownloadWindowDriver.h"
#include "ProcessUsage.h"
#include "ProgramDownload.h"
#include "TestNewsServerProcess.h"
#include "XDesktop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A download that saves no segment and decodes no file for this long has stalled.
const int kStallSeconds = 60;

struct RunResult {
    bool whole = false;        // every file identical, clean end on "x"
    DownloadTimeline timeline; // seconds from the start of corvane
    double cpuSeconds = 0;     // corvane's own
    std::vector<double> late;  // UI timer lateness in ms (window runs only)
};

std::vector<double> readLateness(const std::string& path) {
    std::vector<double> late;
    std::ifstream in(path);
    for (double value; in >> value;)
        late.push_back(value);
    return late;
}

// The value below which `share` of the sorted `values` lie.
double quantile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t at = std::min(values.size() - 1, (size_t)(share * (double)values.size()));
    return values[at];
}

bool onDisplay() {
    const char* display = getenv("DISPLAY");
    return display && *display;
}

// One download of the whole post by a fresh corvane, with or without its window.
RunResult downloadRun(const RandomPost& post, int port, int connections,
                      const DownloadBenchSettings& settings, bool window) {
    RunResult result;
    CorvaneInstance corvane("corvane_window_bench");
    const std::string home = corvane.home();
    corvane.configure("DEFAULT", "autoloadGUI", window ? "1" : "0");
    corvane.configure("DEFAULT", "showabout", "0");
    std::string segments = prepareDownload(corvane, settings, port, connections);
    const std::string probe = home + "/ui-probe.txt";
    if (window) {
        std::error_code ignored;
        fs::create_symlink(CORV_BIN_DIR "/libglimmerpane.so", home + "/libglimmerpane.so", ignored);
        setenv("CORVANE_UI_PROBE", probe.c_str(), 1);
    }

    auto start = Clock::now();
    bool started = corvane.start({post.options.nzb});
    unsetenv("CORVANE_UI_PROBE");
    if (!started) {
        fprintf(stderr, "corvane did not start\n");
        return result;
    }
    // The click waits for the window on a thread of its own, so the download is followed
    // from the start.
    std::thread clicker([window] {
        if (!window || !onDisplay()) return;
        unsigned long mainWindow = xdesktop::waitForWindow(downloadWindow::kTitle, 30);
        if (!mainWindow || !downloadWindow::selectFirstPost(mainWindow))
            printf("  the window could not be clicked: its file list stays empty\n");
    });
    result.timeline = followDownload(DownloadWatch(home), (int)post.originals.size(), post.articles,
                                     start, kStallSeconds);
    clicker.join();
    const bool done = result.timeline.allDecoded >= 0;
    result.cpuSeconds = processUsage(corvane.processId()).cpuSeconds;
    int messenger = corvane.message({"x"});
    int exitCode = corvane.waitExit(120);
    int intact = 0;
    for (const std::string& original : post.originals)
        intact +=
            sameContent(original, home + "/download/" + fs::path(original).filename().string());
    if (window) result.late = readLateness(probe);
    result.whole = done && intact == (int)post.originals.size() && messenger == 0 &&
                   exitCode == 0 && (!window || !result.late.empty());
    if (result.whole) {
        if (!segments.empty()) fs::remove_all(segments);
        return result;
    }
    // A failed run keeps its program folder (and segment folder) for a look.
    corvane.keep();
    printf("  run incomplete: decoded %s, %d/%zu files identical, \"x\" %d, exit %d, %zu probe "
           "ticks; kept %s\n",
           done ? "yes" : "no", intact, post.originals.size(), messenger, exitCode,
           result.late.size(), home.c_str());
    return result;
}

double median(std::vector<double> values) {
    return quantile(std::move(values), 0.5);
}

// The figures of all runs of one kind (with or without the window).
struct Series {
    std::vector<double> total;    // MB/s from the start of corvane to the last decoded file
    std::vector<double> transfer; // MB/s from the first to the last saved segment
    std::vector<double> cpu;      // corvane's CPU seconds
};

void printComparison(const char* what, const std::vector<double>& plain,
                     const std::vector<double>& window, const char* unit) {
    double without = median(plain), with = median(window);
    printf("  %-40s without window %7.2f %s, with window %7.2f %s (%+.1f %%)\n", what, without,
           unit, with, unit, 100.0 * (with - without) / without);
}

// Takes "--runs N" out of the command line; the rest is the download benches' own.
int takeRuns(int& argc, char** argv) {
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--runs") != 0) continue;
        runs = atoi(argv[i + 1]);
        for (int j = i; j + 2 <= argc; ++j)
            argv[j] = argv[j + 2];
        argc -= 2;
        break;
    }
    return runs;
}

} // namespace

int main(int argc, char** argv) {
    int runs = takeRuns(argc, argv);
    DownloadBenchSettings settings;
    settings.connections = {8};
    if (runs < 1 || !parseDownloadBenchSettings(argc, argv, settings, 16) ||
        settings.connections.size() != 1) {
        fprintf(stderr, "usage: corvane_window_bench [--runs N] [--size MIB] [--files N] "
                        "[--connections 1..16] [--segments-in DIR]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    printf("window platform: %s\n",
           onDisplay() ? "xcb, the first post clicked" : "offscreen (no DISPLAY), no post shown");
    char pattern[] = "/tmp/corvane_window_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    const std::string base = pattern;
    RandomPost post = makeRandomPost(base, settings);
    const int connections = settings.connections.front();
    const double megabytes = (double)post.articleBytes / 1e6;

    int failedRuns = 0;
    Series plain, windowed;
    std::vector<double> allLate;
    {
        TestNewsServerProcess server(
            {"--spool", post.options.spool, "--lifetime", "3600", "--max-connections", "128"});
        if (!server.port()) {
            fprintf(stderr, "the test news server did not start\n");
            return 1;
        }
        // Turns, so that a slow phase of the machine hits both kinds alike.
        for (int run = 1; run <= runs; ++run) {
            for (bool window : {false, true}) {
                RunResult result = downloadRun(post, server.port(), connections, settings, window);
                if (!result.whole) {
                    ++failedRuns; // left out of the figures, and the bench fails
                    continue;
                }
                const DownloadTimeline& t = result.timeline;
                Series& series = window ? windowed : plain;
                series.total.push_back(megabytes / t.allDecoded);
                series.transfer.push_back(megabytes / (t.allSaved - t.firstSaved));
                series.cpu.push_back(result.cpuSeconds);
                printf("run %d %-13s %6.1f MB/s to the last decoded file (%.2f s), %6.1f MB/s "
                       "from the first to the last saved segment (%.2f-%.2f s), corvane CPU "
                       "%.2f s\n",
                       run, window ? "with window:" : "without:", series.total.back(), t.allDecoded,
                       series.transfer.back(), t.firstSaved, t.allSaved, result.cpuSeconds);
                if (window) {
                    printf("      UI timer late: median %.2f ms, p99 %.2f ms, max %.2f ms over "
                           "%zu ticks\n",
                           median(result.late), quantile(result.late, 0.99),
                           quantile(result.late, 1.0), result.late.size());
                    allLate.insert(allLate.end(), result.late.begin(), result.late.end());
                }
            }
        }
    }
    if (failedRuns) {
        printf("%d runs failed; the post is kept in %s\n", failedRuns, base.c_str());
        if (plain.total.empty() || windowed.total.empty()) return 1;
    } else {
        fs::remove_all(base);
    }

    printf("medians of %zu runs without and %zu with the window, %d connections:\n",
           plain.total.size(), windowed.total.size(), connections);
    printComparison("start to the last decoded file:", plain.total, windowed.total, "MB/s");
    printComparison("first to the last saved segment:", plain.transfer, windowed.transfer, "MB/s");
    printComparison("corvane CPU:", plain.cpu, windowed.cpu, "s   ");
    printf("UI timer (10 ms) lateness over all %zu ticks: median %.2f ms, p99 %.2f ms, max "
           "%.2f ms\n",
           allLate.size(), median(allLate), quantile(allLate, 0.99), quantile(allLate, 1.0));
    return failedRuns ? 1 : 0;
}
