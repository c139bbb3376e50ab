// Stand-ins for the engine's neighbours in tests: a model that records the events the
// queue sends it, and an observer that records notifications. Both may be called from
// several threads at once.
#pragma once
#include "NNTPmodel_iface.h"

#include <mutex>
#include <vector>

struct RecordedCall {
    unsigned code;
    void* data;
};

// A thread-safe list of (code, data) calls in the order they arrived.
class CallRecord {
  public:
    void record(unsigned code, void* data) {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back({code, data});
    }
    std::vector<RecordedCall> taken() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
    std::vector<unsigned> codes() {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<unsigned> list;
        for (const RecordedCall& call : calls) list.push_back(call.code);
        return list;
    }
    // Calls with `code` (and `data`, when given).
    int count(unsigned code, void* data = nullptr) {
        std::lock_guard<std::mutex> guard(lock);
        int n = 0;
        for (const RecordedCall& call : calls)
            if (call.code == code && (!data || call.data == data)) ++n;
        return n;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(lock);
        calls.clear();
    }

  private:
    std::mutex lock;
    std::vector<RecordedCall> calls;
};

// The model as the queue sees it: handleEvent is recorded, nothing else answers.
class RecordingModel : public NNTPmodel_iface, public CallRecord {
  public:
    void handleEvent(unsigned evt, void* p1, void*) override { record(evt, p1); }
};

class RecordingObserver : public _observer, public CallRecord {
  public:
    void update(unsigned code, void* data) override { record(code, data); }
};
