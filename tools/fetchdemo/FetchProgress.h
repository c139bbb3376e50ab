// Follows a download in the engine rig: a progress line a second while it runs.
#pragma once
#include "EngineRig.h"

#include <chrono>
#include <cstdio>

class FetchProgress {
  public:
    FetchProgress(EngineRig& rig, FILE* report) : rig(rig), report(report) {}

    // Waits until every file of the queue is decoded or `limit` has passed, printing
    // the fetched share, the decoded files and the active workers each second.
    bool waitForDecoded(std::chrono::seconds limit);
    // Segments that a server did not have (one row per server that failed them).
    int failureMarks();

  private:
    void printLine(double seconds);

    EngineRig& rig;
    FILE* report;
};
