#include "queueProgress.h"

#include "sizeText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A file past its download counts whole; fileProgress counts the bytes saved so far
// and survives a reload, unlike the fetched-segment map.
long long bytesDone(const tfile& file) {
    if (file.fileState >= fsWaitDecode) return file.fileSize;
    return std::clamp(file.fileProgress, 0LL, file.fileSize);
}

} // namespace

int tprogress::share(int full) const {
    if (total <= 0) return 0;
    return (int)(std::clamp(done, 0LL, total) * full / total);
}

tprogress postProgress(NNTPmodel_iface* queue, int pid) {
    tprogress wanted, all;
    if (!queue) return wanted;
    std::vector<int> files;
    queue->qfiles(&files, pid);
    for (int fid : files) {
        const tfile* file = queue->qfile(fid);
        if (!file) continue;
        all.total += file->fileSize;
        all.done += bytesDone(*file);
        if (file->fileState == fsNotQueued) continue;
        wanted.total += file->fileSize;
        wanted.done += bytesDone(*file);
    }
    return wanted.total > 0 ? wanted : all;
}

long long queueRemaining(NNTPmodel_iface* queue) {
    if (!queue) return 0;
    long long remaining = 0;
    std::vector<int> posts, files;
    queue->qposts(&posts);
    for (int pid : posts) {
        queue->qfiles(&files, pid);
        for (int fid : files) {
            const tfile* file = queue->qfile(fid);
            if (file && (file->fileState == fsQueued || file->fileState == fsDownloading))
                remaining += file->fileSize - bytesDone(*file);
        }
    }
    return remaining;
}

std::string progressText(const tprogress& progress) {
    if (progress.total <= 0) return "";
    if (progress.remaining() <= 0) return "done";
    return std::to_string(progress.share(100)) + "%, " + sizeText(progress.remaining()) + " left";
}

std::string timeLeftText(long long bytes, int kbPerSecond) {
    if (bytes <= 0) return "";
    if (kbPerSecond <= 0) return "--:-- left";
    const long long seconds = (bytes + kbPerSecond * 1000LL - 1) / (kbPerSecond * 1000LL);
    char text[48];
    if (seconds >= 3600)
        snprintf(text, sizeof text, "%lld:%02lld:%02lld left", seconds / 3600, seconds / 60 % 60,
                 seconds % 60);
    else
        snprintf(text, sizeof text, "%lld:%02lld left", seconds / 60, seconds % 60);
    return text;
}
