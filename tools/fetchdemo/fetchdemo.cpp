// corvane-fetchdemo: a download end to end on loopback, with nothing to set up.
//
//   corvane-fetchdemo [--delete] [--connections N] [file ...]
//
// Posts the given files (by default a generated 24 MB video file and a small text
// file) as yEnc articles with the post maker, serves them from two test news servers
// (the main one lacks some articles and breaks off one transfer, the backup has them
// all), imports the NZB into a fresh article database, fetches with the workers of
// both servers, has yydecode decode into ./download and checks every file byte for
// byte. The engine's log lines go to corvane.log in the temporary program folder, which
// is kept for a look unless --delete is given.
#include "EngineRig.h"
#include "FetchProgress.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct DemoOptions {
    bool remove = false;
    int connections = 4;
    std::vector<std::string> files;
};

bool parseOptions(int argc, char** argv, DemoOptions& options) {
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--delete")) {
            options.remove = true;
        } else if (!strcmp(argv[i], "--connections") && i + 1 < argc) {
            options.connections = atoi(argv[++i]);
            if (options.connections < 1 || options.connections > 16) return false;
        } else if (argv[i][0] == '-') {
            return false;
        } else {
            options.files.push_back(fs::absolute(argv[i]).string());
        }
    }
    return true;
}

// The embedded default post: random bytes stand in for a video, and a text whose lines
// begin with dots, so that the servers' dot-stuffing is exercised.
std::vector<std::string> writeDefaultPost() {
    fs::create_directories("originals");
    std::mt19937_64 random(20261208);
    std::string video(24 * 1024 * 1024 + 4321, '\0');
    for (size_t i = 0; i + 8 <= video.size(); i += 8) {
        std::uint64_t word = random();
        memcpy(&video[i], &word, 8);
    }
    std::ofstream("originals/holiday-video.mkv", std::ios::binary) << video;
    std::ofstream("originals/readme.txt", std::ios::binary)
        << "Holiday video, 24 MB.\n.A line that begins with a dot.\n..and one with two.\n";
    return {"originals/holiday-video.mkv", "originals/readme.txt"};
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string joinIds(const std::vector<std::string>& ids) {
    std::string joined;
    for (const std::string& id : ids)
        joined += (joined.empty() ? "" : ",") + id;
    return joined;
}

// Every file of the post decoded into ./download and equal to what was posted.
bool checkDownloads(const std::vector<std::string>& originals, FILE* report) {
    bool whole = true;
    for (const std::string& original : originals) {
        std::string name = fs::path(original).filename().string();
        std::string downloaded = "download/" + name;
        bool same = fs::exists(downloaded) && readWhole(downloaded) == readWhole(original);
        fprintf(report, "  %-24s %12ju bytes  %s\n", name.c_str(),
                (uintmax_t)fs::file_size(original),
                same ? "identical to the original" : "MISSING OR DIFFERENT");
        whole = whole && same;
    }
    return whole;
}

// The engine logs on standard output, as the download client does into its log file;
// the demo's own report goes to the terminal.
FILE* sendEngineLogTo(const char* path) {
    fflush(stdout);
    int terminal = dup(STDOUT_FILENO);
    int log = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (terminal < 0 || log < 0 || dup2(log, STDOUT_FILENO) < 0) return stdout;
    close(log);
    FILE* report = fdopen(terminal, "w");
    if (!report) return stdout;
    setvbuf(report, nullptr, _IOLBF, 0);
    return report;
}

} // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    if (!parseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: corvane-fetchdemo [--delete] [--connections 1..16] [file ...]\n");
        return 2;
    }
    char folder[] = "/tmp/corvane-demo-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        perror("corvane-fetchdemo: temporary program folder");
        return 1;
    }
    FILE* report = sendEngineLogTo("corvane.log");
    fprintf(report, "program folder: %s\n", folder);
    std::vector<std::string> originals = options.files.empty() ? writeDefaultPost() : options.files;

    PostOptions post;
    post.spool = "spool";
    post.nzb = "post.nzb";
    fs::create_directories(post.spool);
    std::vector<PostedFile> posted;
    try {
        posted = makePost(originals, post);
    } catch (const std::exception& error) {
        fprintf(stderr, "corvane-fetchdemo: %s\n", error.what());
        return 1;
    }
    size_t articles = 0;
    for (const PostedFile& file : posted)
        articles += file.segments.size();
    fprintf(report, "posted %zu files in %zu articles\n", posted.size(), articles);

    // The main server lacks every seventh article of the first file and breaks off the
    // transfer of its second article once; the backup server has everything.
    std::vector<std::string> missing;
    const std::vector<PostedSegment>& first = posted.front().segments;
    for (size_t i = 3; i < first.size(); i += 7)
        missing.push_back(first[i].messageId);
    std::vector<std::string> mainArguments = {"--spool", post.spool, "--log", "main-server.log"};
    if (!missing.empty())
        mainArguments.insert(mainArguments.end(), {"--missing", joinIds(missing)});
    if (first.size() > 1)
        mainArguments.insert(mainArguments.end(), {"--cut-after", "20000", "--cut-ids",
                                                   first[1].messageId, "--cut-times", "1"});
    TestNewsServerProcess mainServer(mainArguments);
    TestNewsServerProcess backupServer({"--spool", post.spool, "--log", "backup-server.log"});
    if (!mainServer.port() || !backupServer.port()) {
        fprintf(stderr, "corvane-fetchdemo: a test news server did not start\n");
        return 1;
    }
    fprintf(report, "main server on port %d lacks %zu articles; backup server on port %d\n",
            mainServer.port(), missing.size(), backupServer.port());

    tworkerTimes times;
    times.idleWait = 500ms;
    EngineRig rig(times);
    if (!rig.importNzb(post.nzb)) {
        fprintf(stderr, "corvane-fetchdemo: the NZB could not be imported\n");
        return 1;
    }
    rig.addServer(mainServer.port(), 1, options.connections);
    rig.addServer(backupServer.port(), 2, 2);
    rig.decoder.start();
    auto start = std::chrono::steady_clock::now();
    rig.startWorkers();

    FetchProgress progress(rig, report);
    bool done = progress.waitForDecoded(120s);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rig.stopWorkers();
    rig.decoder.stop();

    std::uint64_t bytes = 0;
    for (const PostedFile& file : posted)
        bytes += file.size;
    fprintf(report,
            "%s in %.2f s (%.1f MB/s including decoding); %d segments failed on the main "
            "server and came from the backup\n",
            done ? "downloaded and decoded" : "NOT COMPLETE", seconds, bytes / seconds / 1e6,
            progress.failureMarks());
    bool whole = checkDownloads(originals, report);
    if (options.remove) {
        if (chdir("/") == 0) fs::remove_all(folder);
    } else {
        fprintf(report, "kept %s (download/, corvane.log, data/articles.db, *-server.log)\n",
                folder);
    }
    return done && whole ? 0 : 1;
}
