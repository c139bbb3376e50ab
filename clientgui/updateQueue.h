// Carries engine notifications to the UI thread in the order they were made.
//
// Engine threads only append to a short list under a lock the UI thread holds just long
// enough to take the list; nobody ever waits for the UI thread. The first notification
// of a batch asks the UI thread for one delivery BATCH_MS later, so a burst (one
// notification per saved segment of every worker) wakes the UI thread once and costs
// one pass, whose redraws Qt merges, instead of a wake-up per notification.
#pragma once
#include <QObject>
#include <QTimer>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

constexpr int BATCH_MS = 20;

template <class Event> class cUpdateQueue {
  public:
    using Apply = std::function<void(std::vector<Event>&)>;

    // Construct on the UI thread: deliveries run on the thread that made the queue.
    explicit cUpdateQueue(Apply apply) : apply(std::move(apply)) {}
    cUpdateQueue(const cUpdateQueue&) = delete;
    cUpdateQueue& operator=(const cUpdateQueue&) = delete;

    // Any thread.
    void push(Event event) {
        bool first;
        {
            std::lock_guard<std::mutex> guard(lock);
            first = pending.empty();
            pending.push_back(std::move(event));
        }
        if (!first) return;
        QMetaObject::invokeMethod(
            &receiver, [this] { QTimer::singleShot(BATCH_MS, &receiver, [this] { deliver(); }); },
            Qt::QueuedConnection);
    }

    // UI thread: applies what is waiting now, before a step that needs it applied.
    void deliver() {
        std::vector<Event> batch;
        {
            std::lock_guard<std::mutex> guard(lock);
            batch.swap(pending);
        }
        if (!batch.empty()) apply(batch);
    }

    // Forgets what is waiting (the view is being detached).
    void discard() {
        std::lock_guard<std::mutex> guard(lock);
        pending.clear();
    }

  private:
    std::mutex lock;
    std::vector<Event> pending;
    QObject receiver;
    Apply apply;
};
