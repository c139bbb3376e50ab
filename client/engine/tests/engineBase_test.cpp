#include "NNTPmodel_iface.h"
#include "cThread.h"
#include "observer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string captured(void (*action)(void*), void* context) {
    testing::internal::CaptureStdout();
    action(context);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Records which observer saw which code, in order.
struct Journal {
    std::mutex lock;
    std::vector<std::string> entries;
    void add(const std::string& entry) {
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back(entry);
    }
};

class Recorder : public _observer {
  public:
    Recorder(const char* name, Journal& journal) : name(name), journal(journal) {}
    void update(unsigned code, void*) override {
        journal.add(name + std::to_string(code));
        lastThread = std::this_thread::get_id();
        if (leaveOnUpdate) leaveOnUpdate->detach(this);
    }
    std::string name;
    Journal& journal;
    std::thread::id lastThread;
    _observable* leaveOnUpdate = nullptr;
};

// A thread that loops until asked to stop, counting its runs and turns.
class Looper : public cThread {
  public:
    ~Looper() override {
        stop();
        wait();
    }
    void run() override {
        cThread::run();
        ++runs;
        while (keepRunning()) {
            ++turns;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::atomic<int> runs{0};
    std::atomic<int> turns{0};
};

// A thread whose run returns at once.
class OneShot : public cThread {
  public:
    ~OneShot() override { wait(); }
    void run() override {
        cThread::run();
        ++runs;
    }
    std::atomic<int> runs{0};
};

// A thread that destroys its own object and then overwrites the object's memory; the
// thread's exit is signalled from a thread-local destructor, after run_static is done.
std::atomic<bool> selfEndingGone{false};
struct ExitSignal {
    ~ExitSignal() { selfEndingGone = true; }
};
alignas(std::max_align_t) unsigned char selfEndingStorage[256];
class SelfEnding : public cThread {
  public:
    void run() override {
        thread_local ExitSignal signal;
        (void)signal;
        cThread::run();
        this->~SelfEnding();
        memset(selfEndingStorage, 0xAB, sizeof selfEndingStorage);
    }
};

// Waits (bounded) until `done` holds; false on time-out.
template <class Predicate> bool eventually(Predicate done) {
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

} // namespace

TEST(ModelInterface, DefaultsAnswerNothing) {
    NNTPmodel_iface plain;
    EXPECT_EQ(plain.getclient(0), nullptr);
    EXPECT_EQ(plain.qfile(1), nullptr);
    EXPECT_EQ(plain.chost(), nullptr);
    std::vector<int> ids{4, 5, 6};
    plain.qposts(&ids);
    EXPECT_TRUE(ids.empty());
    ids = {7};
    plain.qfiles(&ids, 1);
    EXPECT_TRUE(ids.empty());
}

TEST(ModelInterface, UnknownCommandIsIgnoredSilently) {
    // A target that knows only the queue switch.
    struct Target : NNTPmodel_iface {
        void handleCommandT(unsigned cmd, void* p1, void*) override {
            if (cmd == cmdQueueEnable) enabled = (int)(intptr_t)p1;
        }
        int enabled = 0;
    } target;
    auto send = [](void* t) {
        auto* self = static_cast<Target*>(t);
        self->handleCommandT(12345, (void*)1, nullptr);
        self->handleEvent(99, nullptr, nullptr);
        NNTPmodel_iface plain;
        plain.handleCommandT(cmdTerminate, nullptr, nullptr);
    };
    EXPECT_EQ(captured(send, &target), "");
    EXPECT_EQ(target.enabled, 0);
    target.handleCommandT(cmdQueueEnable, (void*)1, nullptr);
    EXPECT_EQ(target.enabled, 1);
}

TEST(Observers, NotifiedInAttachOrderOnTheNotifyingThread) {
    Journal journal;
    Recorder a("a", journal), b("b", journal), c("c", journal);
    _observable subject;
    struct Context {
        _observable* subject;
        Recorder *a, *b, *c;
    } context{&subject, &a, &b, &c};
    std::string log = captured(
        [](void* p) {
            auto* x = static_cast<Context*>(p);
            x->subject->attach(x->a);
            x->subject->attach(x->b);
            x->subject->attach(x->c);
            x->subject->attach(x->a); // once only
        },
        &context);
    char line[32];
    snprintf(line, sizeof line, "attach: %X\n", (unsigned)(uintptr_t)&b);
    EXPECT_NE(log.find(line), std::string::npos) << log;

    std::thread notifier([&] { subject.notify(updFileState, nullptr); });
    std::thread::id notifierId = notifier.get_id();
    notifier.join();
    EXPECT_EQ(a.lastThread, notifierId);
    EXPECT_EQ(c.lastThread, notifierId);

    log = captured(
        [](void* p) { static_cast<Context*>(p)->subject->detach(static_cast<Context*>(p)->b); },
        &context);
    snprintf(line, sizeof line, "detach: %X\n", (unsigned)(uintptr_t)&b);
    EXPECT_EQ(log, line);
    subject.notify(updFileList, nullptr);
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"a3", "b3", "c3", "a4", "c4"}));
}

TEST(Observers, ObserverLeavingDuringUpdateDoesNotCostTheNextOne) {
    Journal journal;
    Recorder a("a", journal), b("b", journal), c("c", journal);
    _observable subject;
    testing::internal::CaptureStdout();
    subject.attach(&a);
    subject.attach(&b);
    subject.attach(&c);
    b.leaveOnUpdate = &subject;
    subject.notify(1, nullptr);
    subject.notify(2, nullptr);
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"a1", "b1", "c1", "a2", "c2"}));
}

TEST(Commands, HandleCommandSRunsTheCommandOnAThreadOfItsOwn) {
    struct Target : _observable {
        void handleCommandT(unsigned cmd, void* p1, void* p2) override {
            std::lock_guard<std::mutex> guard(lock);
            seen = std::to_string(cmd) + " " + std::to_string((intptr_t)p1) + " " +
                   std::to_string((intptr_t)p2);
            thread = std::this_thread::get_id();
            done.notify_all();
        }
        std::mutex lock;
        std::condition_variable done;
        std::string seen;
        std::thread::id thread;
    } target;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(_observable::sendCommand(&target, cmdClientEnable, (void*)65791, nullptr));
    {
        std::unique_lock<std::mutex> guard(target.lock);
        ASSERT_TRUE(target.done.wait_for(guard, std::chrono::seconds(10),
                                         [&] { return !target.seen.empty(); }));
    }
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "handle cmd: 2 100ff 0");
    EXPECT_EQ(target.seen, "2 65791 0");
    EXPECT_NE(target.thread, std::this_thread::get_id());
}

TEST(Threads, StartRunsOnceStopEndsTheLoop) {
    Looper looper;
    EXPECT_FALSE(looper.hasThread());
    EXPECT_EQ(looper.start(), 1);
    EXPECT_EQ(looper.start(), 1); // already running: nothing new
    ASSERT_TRUE(eventually([&] { return looper.turns > 0; }));
    looper.stop();
    looper.wait();
    EXPECT_FALSE(looper.hasThread());
    EXPECT_EQ(looper.runs, 1);
    EXPECT_EQ(looper.start(), 1); // a new thread after the old one ended
    looper.stop();
    looper.wait();
    EXPECT_EQ(looper.runs, 2);
}

TEST(Threads, StopRightAfterStartIsNeverLost) {
    for (int i = 0; i < 200; ++i) {
        Looper looper;
        looper.start();
        looper.stop();
        looper.wait(); // would hang if run() had overwritten the stop
        EXPECT_FALSE(looper.hasThread());
    }
}

TEST(Threads, EndedThreadIsDestroyedAtOnceAndARunningOneIsStopped) {
    auto* shot = new OneShot;
    shot->start();
    ASSERT_TRUE(eventually([&] { return !shot->hasThread(); }));
    EXPECT_EQ(shot->runs, 1);
    delete shot;

    // The base destructor alone ends a loop that touches nothing of a derived object.
    static std::atomic<int> baseTurns{0};
    struct BaseOnly : cThread {
        void run() override {
            cThread::run();
            while (keepRunning()) {
                ++baseTurns;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    };
    auto* loop = new BaseOnly;
    loop->start();
    ASSERT_TRUE(eventually([] { return baseTurns > 0; }));
    delete loop;
    int after = baseTurns;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(baseTurns, after);
}

TEST(Threads, ObjectDestroyedByItsOwnThreadIsNotTouchedAfterwards) {
    static_assert(sizeof(SelfEnding) <= sizeof selfEndingStorage);
    auto* self = new (selfEndingStorage) SelfEnding;
    ASSERT_EQ(self->start(), 1);
    ASSERT_TRUE(eventually([] { return selfEndingGone.load(); }));
    for (unsigned char byte : selfEndingStorage)
        ASSERT_EQ(byte, 0xAB);
}
