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
    std::string waitNotice(size_t count) { return waitFor(notices, count); }
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
    std::string waitOpened(size_t count) { return waitFor(opened, count); }
    int changeCount() {
        std::lock_guard<std::mutex> guard(lock);
        return changes;
    }
    std::vector<std::string> updatePaths() {
        std::lock_guard<std::mutex> guard(lock);
        return updates;
    }

  private:
    // The `count`-th entry of `list`, empty when it did not come in time.
    std::string waitFor(const std::vector<std::string>& list, size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        if (!reported.wait_for(guard, LIMIT, [&] { return list.size() >= count; })) return "";
        return list[count - 1];
    }

    static constexpr std::chrono::seconds LIMIT{20};
    std::mutex lock;
    std::condition_variable reported;
    int changes = 0;
    std::vector<std::string> opened, updates, notices;
};
