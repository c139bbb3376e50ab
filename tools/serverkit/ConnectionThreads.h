// The connection threads of a test server, one per client: started by the accepting
// thread, which also joins those that have finished (or all of them at the end).
#pragma once
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <thread>

class ConnectionThreads {
  public:
    ConnectionThreads() = default;
    ~ConnectionThreads() { reap(true); }
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // Runs `work` on a new thread.
    void start(std::function<void()> work);
    // Joins the finished threads, or all of them (waiting for each); returns how many
    // still run.
    size_t reap(bool all);

  private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::list<std::unique_ptr<Connection>> connections;
};
