#include "postStageMemory.h"

#include <cstring>

int postStageMemory::remember(const tpost& post) {
    const std::string name(post.postDesc, strnlen(post.postDesc, sizeof post.postDesc));
    std::lock_guard<std::mutex> guard(lock);
    auto [seen, first] = stages.try_emplace(name, post.ppStage);
    if (first) return unseen;
    const int before = seen->second;
    seen->second = post.ppStage;
    return before;
}
