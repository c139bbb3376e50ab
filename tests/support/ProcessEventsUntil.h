// Waiting in a Qt test or tool: the window thread's events are processed while a
// condition is polled, so queued calls and repaints happen; a generous deadline keeps a
// loaded machine from failing the wait.
#pragma once
#include <QApplication>
#include <QElapsedTimer>

#include <functional>

// True as soon as `done()` holds; false when it still does not after `limitMs`.
inline bool processEventsUntil(const std::function<bool()>& done, int limitMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
