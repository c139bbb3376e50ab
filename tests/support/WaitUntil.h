// Waiting for another thread or process in a test: poll a condition until it holds or
// a generous deadline passes, so a loaded machine slows a test down but never fails it.
#pragma once
#include <chrono>
#include <thread>

// True as soon as `condition()` holds; false when it still does not after `limit`.
template <class Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
