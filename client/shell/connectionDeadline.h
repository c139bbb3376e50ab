// One overall deadline for everything a connection does, besides the wait of each
// read: a peer that sends a byte now and then never runs out a per-read wait.
#pragma once
#include "cTCPclient.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class ConnectionDeadline {
  public:
    // From now on, `connection` is interrupted once `seconds` have passed (0: never);
    // its owner thread then sees its waits fail.
    ConnectionDeadline(cTCPclient& connection, int seconds);
    ~ConnectionDeadline();
    ConnectionDeadline(const ConnectionDeadline&) = delete;
    ConnectionDeadline& operator=(const ConnectionDeadline&) = delete;

    // Stops watching; true when the deadline had passed and the connection was broken off.
    bool end();

  private:
    void watch(cTCPclient& connection, int seconds);

    std::mutex lock;
    std::condition_variable ended;
    bool finished = false; // guarded by lock
    std::atomic<bool> passed{false};
    std::thread watcher;
};
