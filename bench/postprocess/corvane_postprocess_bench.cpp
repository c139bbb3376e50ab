// The post made by postprocess_bench.sh, downloaded by the real corvane from the test news
// server with its missing articles answered 430: the time from the last article saved to
// the post's stage at "done" (verified, the PAR2 volumes it needs fetched, repaired,
// unpacked), and corvane's peak memory over the whole run.
//
//   corvane_postprocess_bench --post DIR [--connections N] [--limit SECONDS]
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadWatch.h"
#include "ProcessUsage.h"
#include "ProgramDownload.h"
#include "TestNewsServerProcess.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const int kDone = 6;
const int kFailed = 7;
const char* const kStageNames[] = {"none",      "waiting",   "fetching PAR2", "verifying",
                                   "repairing", "unpacking", "done",          "failed"};

// The stage of the one post in the program's database; -1 while there is none.
int postStage(const std::string& home, std::string& note) {
    sqlite3* db = nullptr;
    int stage = -1;
    std::string path = home + "/data/articles.db";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* row = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT stage, note FROM postStage", -1, &row, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(row) == SQLITE_ROW) {
            stage = sqlite3_column_int(row, 0);
            const unsigned char* text = sqlite3_column_text(row, 1);
            note = text ? (const char*)text : "";
        }
        sqlite3_finalize(row);
    }
    sqlite3_close(db);
    return stage;
}

// The unpacked payload somewhere below `folder`, "" when not there (yet).
std::string findPayload(const std::string& folder) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->path().filename() == "payload.bin" && it->is_regular_file()) return it->path();
    return "";
}

} // namespace

int main(int argc, char** argv) {
    std::string post;
    int connections = 8;
    int limit = 900;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--post"))
            post = argv[i + 1];
        else if (!strcmp(argv[i], "--connections"))
            connections = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--limit"))
            limit = atoi(argv[i + 1]);
    }
    if (post.empty() || connections < 1 || connections > 50 || limit < 10 || limit > 3600 ||
        !fs::exists(post + "/post.nzb")) {
        fprintf(stderr, "usage: corvane_postprocess_bench --post DIR (made by "
                        "postprocess_bench.sh) [--connections N] [--limit SECONDS]\n");
        return 2;
    }
    TestNewsServerProcess server(
        {"--spool", post + "/spool", "--missing-file", post + "/missing.txt"});
    if (!server.port()) return 1;
    CorvaneInstance corvane("corvane_pp_bench");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    prepareDownload(corvane, DownloadBenchSettings{}, server.port(), connections);

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    auto since = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    if (!corvane.start({post + "/post.nzb"})) {
        fprintf(stderr, "corvane did not start\n");
        return 1;
    }
    DownloadWatch watch(corvane.home());
    int lastSaved = -1;
    double lastArticle = 0;
    // CPU from the last article on: the program's own (the unpacking) and that of the
    // children it reaped since (par2), less sensitive to other load than the time.
    ProcessUsage atLastArticle;
    int stage = -1;
    std::string note;
    std::string stages; // when each stage was first seen
    ProcessUsage usage;
    while (since() < limit) {
        DownloadCounts counts = watch.counts();
        usage = processUsage(corvane.processId());
        if (counts.saved != lastSaved) {
            lastSaved = counts.saved;
            lastArticle = since();
            atLastArticle = usage;
        }
        int now = postStage(corvane.home(), note);
        if (now != stage && now >= 0 && now <= kFailed) {
            char seen[64];
            snprintf(seen, sizeof seen, " %s %.1f s", kStageNames[now], since());
            stages += seen;
        }
        stage = now;
        if (stage == kDone || stage == kFailed) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    double finished = since();
    corvane.message({"x"});
    corvane.waitExit(120);
    std::string payload = findPayload(corvane.home() + "/download");
    bool intact = stage == kDone && !payload.empty() && sameContent(payload, post + "/payload.bin");
    if (!intact) {
        printf("corvane: FAILED (stage %d, note \"%s\", payload %s)\n", stage, note.c_str(),
               payload.empty() ? "not found" : "differs");
        corvane.keep();
        return 1;
    }
    printf("corvane stages:%s\n", stages.c_str());
    printf("corvane: last article at %.2f s, done at %.2f s: %.2f s from the last article to "
           "the unpacked file (CPU since: %.2f s own, %.2f s par2); peak memory %.1f MiB\n",
           lastArticle, finished, finished - lastArticle,
           usage.cpuSeconds - atLastArticle.cpuSeconds,
           usage.childCpuSeconds - atLastArticle.childCpuSeconds, usage.peakKiB / 1024.0);
    return 0;
}
