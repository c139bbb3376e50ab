#include "cThread.h"

#include <system_error>
#include <unistd.h>

namespace {
// Set by start() until the new thread records its own identifier: non-zero, so a loop
// that checks before run() has recorded still runs, and stop() can clear it at any time.
constexpr long STARTING = -1;
// Set when an object's destructor ran on the object's own thread: once run() returns,
// run_static must not touch that object again.
thread_local const cThread* destroyedByOwnThread = nullptr;
} // namespace

cThread::~cThread() {
    threadID = 0;
    std::lock_guard<std::mutex> guard(handleLock);
    if (!handle.joinable()) return;
    if (handle.get_id() == std::this_thread::get_id()) {
        destroyedByOwnThread = this;
        handle.detach();
    } else {
        handle.join();
    }
}

int cThread::start() {
    std::lock_guard<std::mutex> guard(handleLock);
    if (alive) return 1;
    if (handle.joinable()) handle.join(); // the previous thread has ended
    threadID = STARTING;
    alive = true;
    try {
        handle = std::thread(run_static, this);
    } catch (const std::system_error&) {
        alive = false;
        threadID = 0;
        return 0;
    }
    return 1;
}

void cThread::stop() {
    threadID = 0;
}

void cThread::run() {
    long expected = STARTING;
    threadID.compare_exchange_strong(expected, (long)gettid());
}

void cThread::wait() {
    std::lock_guard<std::mutex> guard(handleLock);
    if (handle.joinable() && handle.get_id() != std::this_thread::get_id()) handle.join();
}

void cThread::run_static(void* self) {
    cThread* thread = static_cast<cThread*>(self);
    thread->run();
    if (destroyedByOwnThread == thread) return;
    thread->threadID = 0;
    thread->alive = false; // the last touch of the object: it may be destroyed from here on
}
