// The most disk space a set of folders took at once during a run: a thread adds up the
// allocated blocks of every file below them every 100 ms.
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <vector>

class FolderPeak {
  public:
    explicit FolderPeak(std::vector<std::string> folders);
    ~FolderPeak(); // stops the thread
    FolderPeak(const FolderPeak&) = delete;
    FolderPeak& operator=(const FolderPeak&) = delete;

    // Stops sampling; the peak in bytes.
    long long stop();

  private:
    void run();

    std::vector<std::string> folders;
    std::atomic<bool> running{true};
    std::atomic<long long> peak{0};
    std::thread sampler;
};
