#include "CutPlan.h"

CutPlan::CutPlan(long long cutAfter, std::set<std::string> ids, int times)
    : cutAfter(cutAfter), ids(std::move(ids)), times(times) {}

long long CutPlan::takeCut(const std::string& id) {
    if (cutAfter < 0) return -1;
    if (!ids.empty() && !ids.count(id)) return -1;
    if (times < 0) return cutAfter;
    std::lock_guard<std::mutex> guard(lock);
    int& count = done[id];
    if (count >= times) return -1;
    ++count;
    return cutAfter;
}
