#include "FolderPeak.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

long long allocatedBytes(const std::string& folder) {
    long long total = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        struct stat info {};
        if (lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
            total += (long long)info.st_blocks * 512;
    }
    return total;
}

} // namespace

FolderPeak::FolderPeak(std::vector<std::string> folders)
    : folders(std::move(folders)), sampler([this] { run(); }) {}

FolderPeak::~FolderPeak() {
    stop();
}

void FolderPeak::run() {
    while (running.load()) {
        long long now = 0;
        for (const std::string& folder : folders)
            now += allocatedBytes(folder);
        if (now > peak.load()) peak.store(now);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

long long FolderPeak::stop() {
    running.store(false);
    if (sampler.joinable()) sampler.join();
    return peak.load();
}
