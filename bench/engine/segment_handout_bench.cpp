// Segment hand-out under load: 100 queued files of 1000 segments each in a fresh article
// database, drained by 32 worker threads doing next + save (small articles written to a
// temporary folder, no network). Prints the cycles per second over the first and the
// last 10 % of the queue and overall; the goal is 2,000/s or more, not falling as the
// queue drains. The query plans of both views are printed first.
#include "BenchSupport.h"
#include "NNTPqueue.h"
#include "articleSchema.h"
#include "sqliteDB.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFiles = 100;
constexpr int kSegments = 1000;
constexpr int kTotal = kFiles * kSegments;
constexpr int kWorkers = 32;
constexpr int kTenth = kTotal / 10;

using Clock = std::chrono::steady_clock;

void fill(sqliteDB& db) {
    std::lock_guard<sqliteDB> guard(db);
    db.exec("BEGIN");
    db.exec("INSERT INTO post VALUES(1, 'bench.nzb', '')");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<100) "
            "INSERT INTO file(fileFID, filePID, fileSubject, fileName, fileSize, segcount, "
            "segavail, parblocks) SELECT i, 1, 'bench ' || i, 'bench' || i || '.rar', "
            "1000*400000, 1000, 1000, 0 FROM n");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<99999) "
            "INSERT INTO segm(segmFID, segmNum, segmBytes, segmMsgid) SELECT i/1000+1, "
            "i%1000+1, 400000, 'part' || (i%1000+1) || 'of1000.' || i || '@bench.local' FROM n");
    db.exec("INSERT INTO queu(queuFID) SELECT fileFID FROM file");
    db.exec("COMMIT");
}

int printPlan(void*, int columns, char** values, char**) {
    if (columns >= 4) printf("    %s\n", values[3] ? values[3] : "");
    return 0;
}

void showPlans(sqliteDB& db) {
    std::lock_guard<sqliteDB> guard(db);
    for (const char* view : {"segn", "sego"}) {
        printf("  plan of %s:\n", view);
        std::string sql = std::string("EXPLAIN QUERY PLAN SELECT * FROM ") + view +
                          " WHERE segmSID NOT IN (SELECT segfSID FROM segf WHERE segfHost=1) "
                          "LIMIT 1";
        db.exec(sql.c_str(), printPlan, nullptr);
    }
}

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

int main() {
    char pattern[] = "/tmp/handout_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    std::filesystem::create_directory(folder + "/temp");
    const std::string schema = folder + "/articles.sql";
    std::ofstream(schema, std::ios::binary) << ARTICLES_SCHEMA;

    std::vector<Clock::time_point> done(kTotal + 1);
    std::atomic<int> cycles{0};
    Clock::time_point start;
    const Clock::time_point setup = Clock::now();
    {
        sqliteDB db;
        {
            bench::QuietStdout quiet;
            db.open((folder + "/articles.db").c_str(), schema.c_str());
            fill(db);
        }
        NNTPqueue queue(nullptr, &db);
        queue.settemp((folder + "/temp").c_str());
        {
            bench::QuietStdout quiet;
            queue.load(1);
        }
        printf("%d segments, %d workers; set up in %.1f s\n", kTotal, kWorkers,
               seconds(setup, Clock::now()));
        fflush(stdout);
        showPlans(db);

        bench::QuietStdout quiet;
        std::vector<std::thread> workers;
        start = Clock::now();
        for (int index = 0; index < kWorkers; ++index)
            workers.emplace_back([&, index] {
                std::string article(700, 'y');
                article += "\r\n.\r\n";
                for (int round = 0; round <= kTotal; ++round) { // bounded
                    if (!queue.next(index, 1)) break;
                    queue.save(index, &article);
                    int n = ++cycles;
                    if (n <= kTotal) done[n] = Clock::now();
                }
            });
        for (auto& worker : workers)
            worker.join();
    }
    std::filesystem::remove_all(folder);

    const int total = cycles.load();
    if (total != kTotal) {
        printf("only %d of %d segments handed out\n", total, kTotal);
        return 1;
    }
    const double first = kTenth / seconds(start, done[kTenth]);
    const double last = kTenth / seconds(done[kTotal - kTenth], done[kTotal]);
    const double overall = kTotal / seconds(start, done[kTotal]);
    printf("per tenth:");
    for (int tenth = 0; tenth < 10; ++tenth) {
        Clock::time_point from = tenth ? done[tenth * kTenth] : start;
        printf(" %.0f", kTenth / seconds(from, done[(tenth + 1) * kTenth]));
    }
    printf("\nfirst 10%%: %.0f cycles/s\nlast 10%%: %.0f cycles/s\noverall: %.0f cycles/s "
           "(%.2f s)\n",
           first, last, overall, seconds(start, done[kTotal]));
    return 0;
}
