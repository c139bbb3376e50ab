// The moments of one download by the corvane program, followed from outside in its
// article database (DownloadWatch) every 100 ms.
#pragma once
#include "DownloadWatch.h"

#include <chrono>

struct DownloadTimeline {
    // Seconds from `start`; -1 when not reached.
    double firstSaved = -1, allSaved = -1, allDecoded = -1;
};

// Follows the download of `segments` segments in `files` files until every file is
// decoded, or until neither a segment was saved nor a file decoded for `stallSeconds`.
DownloadTimeline followDownload(const DownloadWatch& watch, int files, int segments,
                                std::chrono::steady_clock::time_point start, int stallSeconds);
