// Which article transfers the test news server breaks off on purpose, and where:
// after a byte count, for every id or listed ids only, always or only the first few
// times per id (so that a client's retry succeeds).
#pragma once
#include <map>
#include <mutex>
#include <set>
#include <string>

class CutPlan {
  public:
    CutPlan(long long cutAfter, std::set<std::string> ids, int times);

    // The number of article bytes to send before closing, or -1 to send it whole.
    // Counts the cut: call once per transfer.
    long long takeCut(const std::string& id);

  private:
    long long cutAfter;
    std::set<std::string> ids;
    int times;
    std::mutex lock;
    std::map<std::string, int> done;
};
