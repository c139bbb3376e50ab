// The last post-processing stage seen of each post, for the views that report changes of
// the stage rather than the stage itself. The queue's notification carries the post's
// record only, so posts are told apart by name.
#pragma once
#include "NNTPmodel_iface.h"

#include <map>
#include <mutex>
#include <string>

class postStageMemory {
  public:
    static constexpr int unseen = -1;

    // Any thread: keeps the post's stage now and returns the one seen before, or
    // `unseen`.
    int remember(const tpost& post);

  private:
    std::mutex lock;
    std::map<std::string, int> stages;
};
