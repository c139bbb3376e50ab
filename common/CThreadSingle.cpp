#include "CThreadSingle.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <system_error>

namespace {

// Below normal by the distance of the "lowest" thread priority.
const int kPriorityDrop = 2;
const int kGraceMs = 100;

thread_local int threadWakeFd = -1;

} // namespace

// Lives as long as either the controller or the thread needs it, so a thread that is
// let go (stop called on itself) can still report its end safely.
struct CThreadSingle::RunState {
    std::mutex lock;
    std::condition_variable ended;
    bool exited = false;
};

CThreadSingle::CThreadSingle() {
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CThreadSingle::~CThreadSingle() {
    stop();
    if (wakeFd >= 0) close(wakeFd);
}

int CThreadSingle::start(unsigned long (*function)(void*), void* argument) {
    std::lock_guard<std::mutex> guard(control);
    if (stopping) return 0;
    if (worker.joinable()) {
        if (!released) return 0;
        // The body has let go and is on its way out.
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
    runFlag = 1;
    released = false;
    uint64_t pending;
    while (read(wakeFd, &pending, sizeof pending) > 0) {
    }
    current = std::make_shared<RunState>();
    try {
        worker = std::thread(&CThreadSingle::threadMain, this, function, argument, current);
    } catch (const std::system_error& e) {
        return e.code().value() ? e.code().value() : EAGAIN;
    }
    return 0;
}

void CThreadSingle::threadMain(unsigned long (*function)(void*), void* argument,
                               std::shared_ptr<RunState> state) {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, (id_t)gettid());
    if (errno == 0) setpriority(PRIO_PROCESS, (id_t)gettid(), nice + kPriorityDrop);
    threadWakeFd = wakeFd;
    if (function)
        function(argument);
    else
        RunStatic(this);
    threadWakeFd = -1;
    std::lock_guard<std::mutex> guard(state->lock);
    state->exited = true;
    state->ended.notify_all();
}

int CThreadSingle::stop() {
    std::thread ending;
    std::shared_ptr<RunState> state;
    {
        std::lock_guard<std::mutex> guard(control);
        runFlag = 0;
        if (!worker.joinable()) return 0;
        uint64_t one = 1;
        ssize_t ignored = write(wakeFd, &one, sizeof one);
        (void)ignored;
        if (worker.get_id() == std::this_thread::get_id()) {
            // Stopped from its own body: the body leaves its loop on the cleared flag.
            worker.detach();
            return 0;
        }
        stopping = true;
        ending = std::move(worker);
        state = current;
    }
    {
        std::unique_lock<std::mutex> lock(state->lock);
        if (!state->ended.wait_for(lock, std::chrono::milliseconds(kGraceMs),
                                   [&] { return state->exited; }))
            printf("thread still busy %d ms after stop, waiting for it to end\n", kGraceMs);
    }
    ending.join();
    std::lock_guard<std::mutex> guard(control);
    stopping = false;
    return 0;
}

int CThreadSingle::waitRun(int ms) const {
    if (runOk()) {
        pollfd wake{wakeFd, POLLIN, 0};
        poll(&wake, 1, ms);
    }
    return runOk();
}

unsigned long CThreadSingle::RunStatic(void* object) {
    if (!object) return 6;
    return (unsigned long)static_cast<CThreadSingle*>(object)->Run();
}

int CThreadSingle::Run() {
    released = true;
    return 0;
}

int CThreadSingle::wakeDescriptor() {
    return threadWakeFd;
}
