// The corvane program downloading a large post on loopback: the real executable in a
// fresh program folder, its config.ini naming one test news server with N connections,
// started with the NZB and followed through its article database until every file is
// decoded. Beside it, the raw NNTP read speed of the same server and spool
// (nntp_raw_read_bench), the ceiling the download is measured against.
//
//   corvane_download_bench [--size MIB] [--files N] [--connections 8] [--no-raw]
//                          [--segments-in DIR]
//
// Prints per connection count the wall time from the start of corvane to the last
// decoded file, MB/s (10^6 bytes of article data), the time from the first to the last
// saved segment, CPU seconds of corvane, of its yydecode runs and of the server,
// corvane's peak resident memory (VmHWM just before "x") and the ratio to the raw read.
// --segments-in makes the program's temporary folder (segment files) a folder below DIR.
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadTimeline.h"
#include "ProcessUsage.h"
#include "ProgramDownload.h"
#include "TestNewsServerProcess.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A download that saves no segment and decodes no file for this long has stalled.
const int kLimitSeconds = 1800;

// One download of the whole post by a fresh corvane with `connections` connections.
// True when every file arrived intact and the instance ended cleanly on "x".
bool downloadRun(const RandomPost& post, int port, pid_t serverPid, int connections,
                 const DownloadBenchSettings& settings, double raw) {
    CorvaneInstance corvane("corvane_download_bench");
    const std::string home = corvane.home();
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    std::string segments = prepareDownload(corvane, settings, port, connections);

    double serverCpuBefore = processUsage(serverPid).cpuSeconds;
    DownloadTimeline timeline;
    ProcessUsage usage;
    if (!downloadToTheEnd(corvane, post, kLimitSeconds, timeline, usage)) return false;
    double serverCpu = processUsage(serverPid).cpuSeconds - serverCpuBefore;
    int messenger = corvane.message({"x"});
    int exitCode = corvane.waitExit(120);
    int intact = 0;
    for (const std::string& original : post.originals)
        intact += sameContent(original,
                              home + "/download/" + fs::path(original).filename().string());
    if (!segments.empty()) fs::remove_all(segments);
    if (timeline.allDecoded < 0) {
        printf("corvane %d connections: NOT COMPLETE, nothing saved or decoded for %d s\n",
               connections, kLimitSeconds);
        return false;
    }

    double megabytes = (double)post.articleBytes / 1e6;
    double speed = megabytes / timeline.allDecoded;
    double transfer = timeline.allSaved - timeline.firstSaved;
    double transferSpeed = transfer > 0 ? megabytes / transfer : 0.0;
    printf("corvane %d connections: %.1f MB/s, %.2f s from start to the last decoded file "
           "(first segment saved at %.2f s, last at %.2f s: %.1f MB/s between them)\n",
           connections, speed, timeline.allDecoded, timeline.firstSaved, timeline.allSaved,
           transferSpeed);
    printf("  CPU: corvane %.2f s, its yydecode runs %.2f s, server %.2f s; corvane peak "
           "memory %.1f MiB\n",
           usage.cpuSeconds, usage.childCpuSeconds, serverCpu, usage.peakKiB / 1024.0);
    if (raw > 0)
        printf("  raw read %.1f MB/s: corvane reaches %.0f %% of it (%.0f %% between first "
               "and last saved segment)\n",
               raw, 100.0 * speed / raw, 100.0 * transferSpeed / raw);
    printf("  %d/%zu files identical; \"x\": messenger %d, instance exit %d\n", intact,
           post.originals.size(), messenger, exitCode);
    return intact == (int)post.originals.size() && exitCode == 0;
}

} // namespace

int main(int argc, char** argv) {
    DownloadBenchSettings settings;
    settings.connections = {8};
    if (!parseDownloadBenchSettings(argc, argv, settings, 16)) {
        fprintf(stderr, "usage: corvane_download_bench [--size MIB] [--files N] "
                        "[--connections 1..16,...] [--no-raw] [--segments-in DIR]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    char pattern[] = "/tmp/corvane_bench_post_XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    std::string base = pattern;
    RandomPost post = makeRandomPost(base, settings);

    bool whole = true;
    {
        TestNewsServerProcess server(
            {"--spool", post.options.spool, "--lifetime", "3600", "--max-connections", "128"});
        pid_t serverPid = childNamed("testnewsserver");
        if (!server.port()) {
            fprintf(stderr, "the test news server did not start\n");
            whole = false;
        }
        for (int connections : settings.connections) {
            if (!whole) break;
            double raw = settings.raw ? runRawReader(post.options, server.port(), connections) : 0;
            whole = downloadRun(post, server.port(), serverPid, connections, settings, raw);
        }
    }
    fs::remove_all(base);
    return whole ? 0 : 1;
}
