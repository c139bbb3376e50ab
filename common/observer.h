// Observer list of the engine's objects and the command entry of the views.
//
// An observable notifies its observers in the order they attached, on the thread that
// made the change. The list is locked (re-entrantly) while it is walked, so an observer
// that detaches from another thread waits until a notification in progress is done and
// is never called after detach() has returned. An observer's update() must therefore
// never wait for a thread that is itself notifying.
#pragma once
#include <mutex>
#include <vector>

class _observer {
  public:
    virtual ~_observer() = default;
    virtual void update(unsigned code, void* data);
};

class _observable {
  public:
    virtual ~_observable() = default;
    // Carries out a command; unknown codes are ignored.
    virtual void handleCommandT(unsigned cmd, void* p1, void* p2);

    // Appends `observer` to the list (once) and logs it.
    void attach(_observer* observer);
    // Removes `observer` from the list if it is there, and logs it.
    void detach(_observer* observer);
    // Calls update(code, data) on every attached observer, in list order.
    void notify(unsigned code, void* data);

    // Thread procedure of an asynchronous command: takes a `tcommand` allocated with new,
    // runs its target's handleCommandT and frees it.
    static void handleCommandS(void* record);
    // Runs handleCommandT(cmd, p1, p2) of `target` on a new thread of its own, so the
    // sender never waits for the engine. False when no thread could be started.
    static bool sendCommand(_observable* target, unsigned cmd, void* p1, void* p2);

  private:
    std::recursive_mutex listLock;
    std::vector<_observer*> observers;
};

// A command on its way to an observable, owned by the thread that runs it.
struct tcommand {
    _observable* target;
    unsigned cmd;
    void* p1;
    void* p2;
};
