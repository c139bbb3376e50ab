// How far the downloads have come, read from the queue's file records: a post's share
// done and what the whole queue still has to fetch, with the time that takes.
#pragma once
#include "NNTPmodel_iface.h"

#include <string>

struct tprogress {
    long long total = 0; // bytes
    long long done = 0;
    long long remaining() const { return total - done; }
    // 0 to `full`; 0 when there is nothing to do.
    int share(int full) const;
};

// The post's files that are wanted (every state but "not queued"), or all of its files
// when none is.
tprogress postProgress(NNTPmodel_iface* queue, int pid);
// Bytes still to fetch of the files queued or being downloaded, in every post.
long long queueRemaining(NNTPmodel_iface* queue);
// "45%, 700 MB left", "done", or empty for a post without bytes.
std::string progressText(const tprogress& progress);
// "12:34 left" or "1:02:03 left" at `kbPerSecond` (1000 bytes each); "--:-- left" when
// nothing comes in, empty when nothing remains.
std::string timeLeftText(long long bytes, int kbPerSecond);
