#include "FetchProgress.h"

#include <cstdio>
#include <mutex>
#include <thread>

bool FetchProgress::waitForDecoded(std::chrono::seconds limit) {
    auto start = std::chrono::steady_clock::now();
    auto nextLine = start;
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        size_t total = rig.files().size();
        bool done = total > 0 && rig.filesIn(fsDecoded) == (int)total;
        if (done || now >= nextLine || now - start >= limit) {
            printLine(std::chrono::duration<double>(now - start).count());
            nextLine += std::chrono::seconds(1);
        }
        if (done) return true;
        if (now - start >= limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void FetchProgress::printLine(double seconds) {
    long long size = 0;
    long long fetched = 0;
    std::vector<tfile*> files = rig.files();
    for (tfile* file : files) {
        size += file->fileSize;
        fetched += file->fileProgress;
    }
    int active = 0;
    for (auto& worker : rig.workers)
        if (worker->cstate() == csActive) ++active;
    fprintf(report, "%6.1f s  fetched %5.1f %%  decoded %d of %zu files  %d workers active\n",
            seconds, size ? 100.0 * fetched / size : 0.0, rig.filesIn(fsDecoded), files.size(),
            active);
}

int FetchProgress::failureMarks() {
    int marks = 0;
    std::lock_guard<sqliteDB> guard(rig.db);
    rig.db.exec("SELECT COUNT(*) FROM segf", cb_max, &marks);
    return marks;
}
