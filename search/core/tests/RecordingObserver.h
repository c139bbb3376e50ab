// A window stand-in: records what the coordinator reports (on the fetcher's thread) and
// lets the test wait for it, each wait bounded.
#pragma once
#include "MMiravelObserver.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class RecordingObserver : public MMiravelObserver {
  public:
    void handleDataChanged() override {
        std::lock_guard<std::mutex> guard(lock);
        ++changes;
        reported.notify_all();
    }
    void handleOpenResponse(const char* path) override {
        std::lock_guard<std::mutex> guard(lock);
        opened.push_back(path);
        reported.notify_all();
    }
    void handleUpdateAvailable(const char* path) override {
        std::lock_guard<std::mutex> guard(lock);
        updates.push_back(path);
        reported.notify_all();
    }

    void handleEngineNotice(const char* text) override {
        std::lock_guard<std::mutex> guard(lock);
        notices.push_back(text);
        reported.notify_all();
    }

    // The `count`-th engine notice, empty when it did not come in time.
    std::string waitNotice(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        if (!reported.wait_for(guard, LIMIT, [&] { return notices.size() >= count; })) return "";
        return notices[count - 1];
    }
    size_t noticeCount() {
        std::lock_guard<std::mutex> guard(lock);
        return notices.size();
    }

    // True once at least `count` data changes have been reported.
    bool waitChanges(int count) {
        std::unique_lock<std::mutex> guard(lock);
        return reported.wait_for(guard, LIMIT, [&] { return changes >= count; });
    }
    // The path of the `count`-th opened NZB, empty when it did not come in time.
    std::string waitOpened(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        if (!reported.wait_for(guard, LIMIT, [&] { return opened.size() >= count; })) return "";
        return opened[count - 1];
    }
    int changeCount() {
        std::lock_guard<std::mutex> guard(lock);
        return changes;
    }
    std::vector<std::string> updatePaths() {
        std::lock_guard<std::mutex> guard(lock);
        return updates;
    }

  private:
    static constexpr std::chrono::seconds LIMIT{20};
    std::mutex lock;
    std::condition_variable reported;
    int changes = 0;
    std::vector<std::string> opened, updates, notices;
};
