// A pause of an engine thread that a stop from another thread cuts short, so a worker
// or the decoder never keeps its stopper waiting for the rest of an idle wait.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

class cPause {
  public:
    // Waits up to `duration`, or until `stopped()` holds: checked first and again after
    // every wake(). True when the whole time passed, false when it was cut short.
    template <class Stopped> bool wait(std::chrono::milliseconds duration, Stopped stopped) {
        std::unique_lock<std::mutex> guard(lock);
        return !woken.wait_for(guard, duration, stopped);
    }
    // Makes every waiter check its condition now. The caller changes what `stopped()`
    // reads before calling this.
    void wake() {
        std::lock_guard<std::mutex> guard(lock);
        woken.notify_all();
    }

  private:
    std::mutex lock;
    std::condition_variable woken;
};
