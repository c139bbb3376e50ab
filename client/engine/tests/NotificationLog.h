// Records what an engine object tells its observers: the code and, for file
// notifications, the file's id and state at that moment, so a test can check the order
// of state changes as the views saw them.
#pragma once
#include "NNTPmodel_iface.h"
#include "observer.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class NotificationLog : public _observer {
  public:
    void update(unsigned code, void* data) override {
        std::string entry = std::to_string(code);
        if (code == updFileState || code == updFileProgress) {
            auto* file = static_cast<tfile*>(data);
            entry += ":" + std::to_string(file->fileFID) + "=" + std::to_string(file->fileState);
        } else if (code == updDecoder || code == updQueueEnabled) {
            entry += ":" + std::to_string((intptr_t)data);
        } else if (code == updClientState) {
            entry += ":" + std::to_string(static_cast<NNTPmodel_iface*>(data)->cstate());
        }
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back(entry);
    }

    std::vector<std::string> all() {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }
    // The entries that begin with `prefix`, in order.
    std::vector<std::string> starting(const std::string& prefix) {
        std::vector<std::string> found;
        for (const std::string& entry : all())
            if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
        return found;
    }
    bool has(const std::string& entry) {
        for (const std::string& seen : all())
            if (seen == entry) return true;
        return false;
    }

  private:
    std::mutex lock;
    std::vector<std::string> entries;
};
