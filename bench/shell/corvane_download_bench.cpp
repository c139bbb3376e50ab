// The corvane program downloading a large post on loopback: the real executable in a
// fresh program folder, its config.ini naming one test news server with N connections,
// started with the NZB and followed through its article database until every file is
// decoded. Beside it, the raw NNTP read speed of the same server and spool
// (nntp_raw_read_bench), the ceiling the download is measured against.
//
//   corvane_download_bench [--size MIB] [--files N] [--connections N] [--no-raw]
//
// Prints the wall time from the start of corvane to the last decoded file, MB/s (10^6
// bytes of article data), the time from the first to the last saved segment, CPU
// seconds of corvane, of its yydecode runs and of the server, corvane's peak resident
// memory (VmHWM just before "x") and the ratio to the raw read.
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadWatch.h"
#include "ProcessUsage.h"
#include "ServerSections.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Settings {
    long long sizeMiB = 1024;
    int files = 8;
    int connections = 8;
    bool raw = true;
};

bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--no-raw") {
            settings.raw = false;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (name == "--size")
            settings.sizeMiB = atoll(value);
        else if (name == "--files")
            settings.files = atoi(value);
        else if (name == "--connections")
            settings.connections = atoi(value);
        else
            return false;
    }
    return settings.sizeMiB > 0 && settings.files > 0 && settings.connections >= 1 &&
           settings.connections <= 16;
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Moments of one download, in seconds from the start of corvane.
struct Timeline {
    double firstSaved = -1, allSaved = -1, allDecoded = -1;
};

// Polls the article database until every file is decoded or `limitSeconds` pass.
Timeline follow(const DownloadWatch& watch, int files, int segments, Clock::time_point start,
                int limitSeconds) {
    Timeline timeline;
    while (since(start) < limitSeconds) {
        DownloadCounts counts = watch.counts();
        if (timeline.firstSaved < 0 && counts.saved > 0) timeline.firstSaved = since(start);
        if (timeline.allSaved < 0 && counts.saved >= segments) timeline.allSaved = since(start);
        if (counts.decoded >= files) {
            timeline.allDecoded = since(start);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return timeline;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parse(argc, argv, settings)) {
        fprintf(stderr, "usage: corvane_download_bench [--size MIB] [--files N] "
                        "[--connections 1..16] [--no-raw]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    CorvaneInstance corvane("corvane_download_bench");
    const std::string home = corvane.home();
    if (home.empty()) return 1;
    fs::create_directories(home + "/originals");
    fs::create_directories(home + "/spool");

    auto start = Clock::now();
    std::vector<std::string> originals;
    size_t fileSize = (size_t)(settings.sizeMiB << 20) / (size_t)settings.files;
    for (int i = 0; i < settings.files; ++i) {
        originals.push_back(home + "/originals/part" + std::to_string(i + 1) + ".bin");
        writeRandom(originals.back(), fileSize, (unsigned)i + 1);
    }
    PostOptions post;
    post.spool = home + "/spool";
    post.nzb = home + "/post.nzb";
    long long articleBytes = 0;
    int segments = 0;
    for (const PostedFile& file : makePost(originals, post)) {
        segments += (int)file.segments.size();
        for (const PostedSegment& segment : file.segments)
            articleBytes += (long long)segment.bytes;
    }
    double megabytes = (double)articleBytes / 1e6;
    printf("post: %d files, %d articles, %.1f MB of articles, made in %.1f s\n",
           settings.files, segments, megabytes, since(start));

    TestNewsServerProcess server(
        {"--spool", post.spool, "--lifetime", "3600", "--max-connections", "128"});
    pid_t serverPid = childNamed("testnewsserver");
    if (!server.port()) {
        fprintf(stderr, "the test news server did not start\n");
        return 1;
    }
    double raw = settings.raw
                     ? runRawReader(post.spool, post.nzb, server.port(), settings.connections)
                     : 0;
    double serverCpuBefore = processUsage(serverPid).cpuSeconds;

    corvane.configure("DEFAULT", "autoloadGUI", "0");
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "bench", server.port(), 1, settings.connections);
    start = Clock::now();
    if (!corvane.start({post.nzb})) {
        fprintf(stderr, "corvane did not start (is another instance using port 6000?)\n");
        return 1;
    }
    Timeline timeline = follow(DownloadWatch(home), settings.files, segments, start, 1800);
    ProcessUsage usage = processUsage(corvane.processId());
    double serverCpu = processUsage(serverPid).cpuSeconds - serverCpuBefore;
    int messenger = corvane.message({"x"});
    int exitCode = corvane.waitExit(120);

    int intact = 0;
    for (const std::string& original : originals)
        intact += sameContent(original,
                              home + "/download/" + fs::path(original).filename().string());
    if (timeline.allDecoded < 0) {
        printf("NOT COMPLETE after 1800 s\n");
        return 1;
    }
    double speed = megabytes / timeline.allDecoded;
    double transfer = timeline.allSaved - timeline.firstSaved;
    printf("corvane %d connections: %.1f MB/s, %.2f s from start to the last decoded file "
           "(first segment saved at %.2f s, last at %.2f s: %.1f MB/s between them)\n",
           settings.connections, speed, timeline.allDecoded, timeline.firstSaved,
           timeline.allSaved, transfer > 0 ? megabytes / transfer : 0.0);
    printf("CPU: corvane %.2f s, its yydecode runs %.2f s, server %.2f s; corvane peak memory "
           "%.1f MiB\n",
           usage.cpuSeconds, usage.childCpuSeconds, serverCpu, usage.peakKiB / 1024.0);
    if (raw > 0)
        printf("raw read %.1f MB/s: corvane reaches %.0f %% of it (%.0f %% between first and "
               "last saved segment)\n",
               raw, 100.0 * speed / raw,
               transfer > 0 ? 100.0 * megabytes / transfer / raw : 0.0);
    printf("%d/%zu files identical; \"x\": messenger %d, instance exit %d\n", intact,
           originals.size(), messenger, exitCode);
    return intact == (int)originals.size() && exitCode == 0 ? 0 : 1;
}
