#include "ConnectionThreads.h"

void ConnectionThreads::start(std::function<void()> work) {
    auto connection = std::make_unique<Connection>();
    Connection* raw = connection.get();
    connection->thread = std::thread([raw, work = std::move(work)] {
        work();
        raw->done = true;
    });
    connections.push_back(std::move(connection));
}

size_t ConnectionThreads::reap(bool all) {
    for (auto it = connections.begin(); it != connections.end();) {
        if (all || (*it)->done) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
    return connections.size();
}
