// At most one background thread at a time, with a run flag that the thread polls.
//
// stop() clears the flag and wakes every interruptible wait of the thread (waitRun, and
// any poll that includes wakeDescriptor()), then waits for the thread to end; nothing is
// ever killed, so the thread never dies holding a lock. A thread body that blocks must
// therefore wait in those interruptible ways to let stop() return promptly.
//
// A class that overrides Run must call stop() in its own destructor: by the time the
// base destructor runs, the derived part is gone.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class CThreadSingle {
  public:
    CThreadSingle();
    virtual ~CThreadSingle();
    CThreadSingle(const CThreadSingle&) = delete;
    CThreadSingle& operator=(const CThreadSingle&) = delete;

    // Runs function(argument) on a new thread at lowered priority; a null function runs
    // the object's own Run instead. While a thread is held this is a no-op returning 0.
    // Returns the platform's error code when no thread could be created.
    int start(unsigned long (*function)(void*), void* argument);
    // Clears the run flag, wakes the thread and returns once it has ended. Always 0.
    int stop();
    // 1 from start until stop, else 0; thread bodies poll it once per pass.
    int runOk() const { return runFlag.load(); }
    // Sleeps up to `ms`, returning early when stop() is called; then returns runOk().
    int waitRun(int ms) const;

    // Thread entry that runs the object's Run: 6 for a null object.
    static unsigned long RunStatic(void* object);
    // The base body only lets go of the thread, so that the next start makes a new one;
    // a free-function body calls it as its last act.
    virtual int Run();

    // For code running on a thread started here: a descriptor that becomes readable when
    // stop() is called for that thread; -1 on any other thread.
    static int wakeDescriptor();

  private:
    struct RunState;
    void threadMain(unsigned long (*function)(void*), void* argument,
                    std::shared_ptr<RunState> state);

    std::atomic<int> runFlag{0};
    std::atomic<bool> released{false}; // the body has called the base Run
    std::mutex control;                // start and stop may come from different threads
    std::thread worker;
    std::shared_ptr<RunState> current;
    bool stopping = false;
    int wakeFd = -1;
};
