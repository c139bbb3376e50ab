#include "connectionDeadline.h"

#include <chrono>
#include <functional>

ConnectionDeadline::ConnectionDeadline(cTCPclient& connection, int seconds) {
    if (seconds > 0)
        watcher = std::thread(&ConnectionDeadline::watch, this, std::ref(connection), seconds);
}

ConnectionDeadline::~ConnectionDeadline() {
    end();
}

bool ConnectionDeadline::end() {
    {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
    }
    ended.notify_all();
    if (watcher.joinable()) watcher.join();
    return passed;
}

void ConnectionDeadline::watch(cTCPclient& connection, int seconds) {
    std::unique_lock<std::mutex> guard(lock);
    if (ended.wait_for(guard, std::chrono::seconds(seconds), [this] { return finished; })) return;
    passed = true;
    connection.interrupt();
}
