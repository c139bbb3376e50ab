// Base of the engine's long-running threads (server workers, the decoder).
//
// A derived run() calls cThread::run() first and then loops while keepRunning();
// stop() only asks the loop to end. Because the thread runs a virtual function of the
// derived object, a derived destructor must make its thread end (stop(), wait()) before
// its own members go away; ~cThread() only covers threads that no longer touch them.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

class cThread {
  public:
    cThread() = default;
    cThread(const cThread&) = delete;
    cThread& operator=(const cThread&) = delete;
    // Asks the thread to end and waits until it has.
    virtual ~cThread();
    // Starts run() on a new thread unless one is running. 1 when a thread runs, 0 when
    // it could not be started.
    virtual int start();
    // Asks the running loop to end at its next check; does not wait.
    virtual void stop();
    // Records the running thread's identifier (unless stop() came first).
    virtual void run();

    // True from start() until run() has returned.
    bool hasThread() const { return alive.load(); }
    // Blocks until the thread, if any, has ended. Not to be called from the thread itself.
    void wait();

    // True while a started thread has not been asked to stop.
    bool keepRunning() const { return threadID.load() != 0; }

  protected:
    static void run_static(void* self);

    // The running thread's identifier; 0 when not running or asked to stop.
    std::atomic<long> threadID{0};

  private:
    std::mutex handleLock; // guards `handle` between start, wait and the destructor
    std::thread handle;
    std::atomic<bool> alive{false};
};
