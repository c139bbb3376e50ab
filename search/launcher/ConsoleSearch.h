// The launcher's console mode: one search (or one NZB download) on one engine through
// the search coordinator, waiting a bounded time for the site's answer.
#pragma once
#include "LauncherOptions.h"
#include "MMiravelObserver.h"

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CMiravel;

class ConsoleSearch : public MMiravelObserver {
  public:
    // The table and the NZB path go to `output`; the core's diagnostic lines stay on
    // standard output, which the caller may point elsewhere.
    ConsoleSearch(const LauncherOptions& options, FILE* output);
    virtual ~ConsoleSearch();
    ConsoleSearch(const ConsoleSearch&) = delete;
    ConsoleSearch& operator=(const ConsoleSearch&) = delete;

    // Returns the program's exit code: 0 done, 1 nothing arrived in time, 2 bad request.
    int run();

    void handleDataChanged() override;
    void handleOpenResponse(const char* path) override;
    void handleUpdateAvailable(const char* path) override;
    // A refused answer ends the wait: nothing more will come.
    void handleEngineNotice(const char* text) override;

  private:
    int listEngines();
    int searchAndShow(const char* engine);
    int downloadNzb(const char* engine);
    // Waits until `done` holds, an engine notice came or the configured time has passed;
    // false on time-out or notice (the notice is then printed).
    bool waitFor(const std::function<bool()>& done);
    bool noticed();

    const LauncherOptions& options;
    FILE* out;
    std::mutex lock;
    std::condition_variable arrived;
    int dataChanges = 0;
    std::string openedPath;
    std::string notice;
    std::unique_ptr<CMiravel> miravel; // last: it goes first, before the state it reports to
};
