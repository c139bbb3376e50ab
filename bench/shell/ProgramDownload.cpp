#include "ProgramDownload.h"

#include "ServerSections.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

std::string prepareDownload(CorvaneInstance& corvane, const DownloadBenchSettings& settings,
                            int port, int connections) {
    corvane.configure("DEFAULT", "downloadto", "./download");
    std::string segments;
    if (!settings.segmentsIn.empty()) {
        segments = settings.segmentsIn + "/" + fs::path(corvane.home()).filename().string();
        fs::create_directories(segments);
        corvane.configure("DEFAULT", "tempfolder", segments);
    }
    addNewsServer(corvane, "127.0.0.1", port, 1, connections);
    return segments;
}

bool downloadToTheEnd(CorvaneInstance& corvane, const RandomPost& post, int stallSeconds,
                      DownloadTimeline& timeline, ProcessUsage& usage) {
    auto start = std::chrono::steady_clock::now();
    if (!corvane.start({post.options.nzb})) {
        fprintf(stderr, "corvane did not start\n");
        return false;
    }
    timeline = followDownload(DownloadWatch(corvane.home()), (int)post.originals.size(),
                              post.articles, start, stallSeconds);
    usage = processUsage(corvane.processId());
    return true;
}
