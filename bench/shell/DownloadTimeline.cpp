#include "DownloadTimeline.h"

#include <thread>

DownloadTimeline followDownload(const DownloadWatch& watch, int files, int segments,
                                std::chrono::steady_clock::time_point start, int stallSeconds) {
    using Clock = std::chrono::steady_clock;
    auto since = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    DownloadTimeline timeline;
    DownloadCounts last;
    double lastChange = 0;
    while (since() - lastChange < stallSeconds) {
        DownloadCounts counts = watch.counts();
        if (counts.saved != last.saved || counts.decoded != last.decoded) lastChange = since();
        last = counts;
        if (timeline.firstSaved < 0 && counts.saved > 0) timeline.firstSaved = since();
        if (timeline.allSaved < 0 && counts.saved >= segments) timeline.allSaved = since();
        if (counts.decoded >= files) {
            timeline.allDecoded = since();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return timeline;
}
