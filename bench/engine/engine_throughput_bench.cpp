// Download engine throughput on loopback: a post of random files made with the post
// maker, served by the test news server, fetched by the engine rig (queue, workers,
// decoder) with 4 and with 8 connections and decoded by yydecode. Beside it, the raw
// NNTP read speed of the same server and spool (nntp_raw_read_bench), the ceiling the
// download is measured against.
//
//   engine_throughput_bench [--size MIB] [--files N] [--connections 4,8] [--no-raw]
//                           [--segments-in DIR]
//
// Prints per connection count: MB/s (10^6 bytes of article data) for the download
// alone and for download plus decode, and the CPU seconds of the engine and of
// yydecode. --segments-in keeps the segment files in a folder made below DIR (a tmpfs,
// say) instead of the run's own folder. The engine's diagnostic lines go to engine.log in the bench
// folder, which is removed at the end.
#include "CpuTime.h"
#include "DownloadBenchSupport.h"
#include "EngineRig.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool allFiles(EngineRig& rig, int leastState) {
    for (tfile* file : rig.files())
        if (file->fileState < leastState) return false;
    return true;
}

struct RunResult {
    double download = 0, total = 0;   // seconds to all fetched, to all decoded
    double engineCpu = 0, allCpu = 0; // CPU of this process: while fetching, overall
    double yydecodeCpu = 0;           // CPU of the decoder's children
    int intact = 0;                   // decoded files identical to their originals
};

// One download of the whole post with `connections` workers, in a fresh program folder.
RunResult downloadRun(const std::string& base, const std::string& nzb, int port, int connections,
                      const std::vector<std::string>& originals, const std::string& segmentsIn) {
    std::string folder = base + "/run" + std::to_string(connections);
    fs::create_directories(folder);
    fs::current_path(folder);
    std::string segments;
    if (!segmentsIn.empty()) {
        segments = segmentsIn + "/" + fs::path(base).filename().string();
        fs::create_directories(segments);
        fs::create_directory_symlink(segments, "temp");
    }
    RunResult result;
    {
        EngineRig rig;
        rig.importNzb(nzb);
        rig.addServer(port, 1, connections);
        double cpuBefore = cpuSeconds(RUSAGE_SELF);
        double childBefore = cpuSeconds(RUSAGE_CHILDREN);
        auto start = Clock::now();
        rig.decoder.start();
        rig.startWorkers();
        while (!allFiles(rig, fsWaitDecode))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        result.download = since(start);
        result.engineCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
        while (!allFiles(rig, fsDecoded))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        result.total = since(start);
        result.allCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
        result.yydecodeCpu = cpuSeconds(RUSAGE_CHILDREN) - childBefore;
        rig.stopWorkers();
        for (const std::string& original : originals)
            if (sameContent(original, "download/" + fs::path(original).filename().string()))
                ++result.intact;
    }
    fs::current_path(base);
    fs::remove_all(folder);
    if (!segments.empty()) fs::remove_all(segments);
    return result;
}

// Standard output, file descriptor and stream, goes to `fd` from here on.
void pointStdoutAt(int fd) {
    fflush(stdout);
    dup2(fd, STDOUT_FILENO);
}

} // namespace

int main(int argc, char** argv) {
    DownloadBenchSettings settings;
    settings.connections = {4, 8};
    if (!parseDownloadBenchSettings(argc, argv, settings, NNTPqueue::SLOTS)) {
        fprintf(stderr, "usage: engine_throughput_bench [--size MIB] [--files N] "
                        "[--connections 4,8] [--no-raw] [--segments-in DIR]\n");
        return 2;
    }
    char pattern[] = "/tmp/engine_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    std::string base = pattern;
    RandomPost post = makeRandomPost(base, settings);
    const PostOptions& options = post.options;
    const std::vector<std::string>& originals = post.originals;

    TestNewsServerProcess server(
        {"--spool", options.spool, "--lifetime", "3600", "--max-connections", "128"});
    if (!server.port()) {
        fprintf(stderr, "the test news server did not start\n");
        return 1;
    }
    int terminal = dup(STDOUT_FILENO);
    int engineLog = open((base + "/engine.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (int connections : settings.connections) {
        if (settings.raw) runRawReader(options, server.port(), connections);
        // The engine's own lines would swamp the report.
        pointStdoutAt(engineLog);
        RunResult run = downloadRun(base, options.nzb, server.port(), connections, originals,
                                    settings.segmentsIn);
        pointStdoutAt(terminal);
        double megabytes = (double)post.articleBytes / 1e6;
        printf("engine %d connections: download %.1f MB/s (%.2f s, engine CPU %.2f s); "
               "download+decode %.1f MB/s (%.2f s); CPU %.2f s engine + %.2f s yydecode; "
               "%d/%zu files identical\n",
               connections, megabytes / run.download, run.download, run.engineCpu,
               megabytes / run.total, run.total, run.allCpu, run.yydecodeCpu, run.intact,
               originals.size());
        fflush(stdout);
    }
    close(engineLog);
    close(terminal);
    server.stop();
    fs::current_path("/");
    fs::remove_all(base);
    return 0;
}
