#include "CThreadSingle.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace {

struct Counter {
    CThreadSingle* thread = nullptr;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<int> nice{-100};
};

// Loops until stopped, checking the flag every 10 ms; lets go of the thread at the end.
unsigned long loopUntilStopped(void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    errno = 0;
    counter->nice = getpriority(PRIO_PROCESS, (id_t)gettid());
    ++counter->started;
    while (counter->thread->waitRun(10)) {
    }
    ++counter->finished;
    counter->thread->Run();
    return 0;
}

// One pass, then lets go of the thread without being stopped.
unsigned long onePass(void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    ++counter->started;
    counter->thread->Run();
    ++counter->finished;
    return 0;
}

// Blocks in a poll of one minute that only the wake-up descriptor can cut short.
unsigned long blockInLongWait(void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    ++counter->started;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    pollfd fds[2] = {{pipeFds[0], POLLIN, 0}, {CThreadSingle::wakeDescriptor(), POLLIN, 0}};
    poll(fds, 2, 60000);
    close(pipeFds[0]);
    close(pipeFds[1]);
    ++counter->finished;
    return 0;
}

bool waitFor(const std::atomic<int>& value, int wanted) {
    for (int i = 0; i < 500 && value < wanted; ++i)
        usleep(10000);
    return value >= wanted;
}

class Refresher : public CThreadSingle {
  public:
    ~Refresher() override { stop(); }
    int Run() override {
        while (waitRun(10))
            ++passes;
        return 7;
    }
    std::atomic<int> passes{0};
};

// The counter outlives the thread: the thread is stopped first when the test ends.
class CThreadSingleTest : public ::testing::Test {
  protected:
    void SetUp() override { counter.thread = &thread; }
    Counter counter;
    CThreadSingle thread;
};

} // namespace

TEST_F(CThreadSingleTest, SecondStartIsANoOpWhileTheThreadRuns) {
    EXPECT_EQ(thread.start(loopUntilStopped, &counter), 0);
    EXPECT_EQ(thread.runOk(), 1);
    ASSERT_TRUE(waitFor(counter.started, 1));
    EXPECT_EQ(thread.start(loopUntilStopped, &counter), 0);
    usleep(50000);
    EXPECT_EQ(counter.started, 1);
    EXPECT_EQ(thread.stop(), 0);
    EXPECT_EQ(counter.finished, 1); // stop returned only after the body ended
    EXPECT_EQ(thread.runOk(), 0);
}

TEST_F(CThreadSingleTest, StopWithoutStartOnlyClearsTheFlag) {
    EXPECT_EQ(thread.stop(), 0);
    EXPECT_EQ(thread.runOk(), 0);
    EXPECT_EQ(thread.stop(), 0);
}

TEST_F(CThreadSingleTest, ThreadRunsBelowTheCallersPriority) {
    errno = 0;
    int own = getpriority(PRIO_PROCESS, (id_t)gettid());
    if (own > 17) GTEST_SKIP() << "already at the lowest priority";
    ASSERT_EQ(thread.start(loopUntilStopped, &counter), 0);
    ASSERT_TRUE(waitFor(counter.started, 1));
    thread.stop();
    EXPECT_EQ(counter.nice, own + 2);
}

TEST_F(CThreadSingleTest, StartAfterTheBodyLetGoMakesANewThread) {
    ASSERT_EQ(thread.start(onePass, &counter), 0);
    ASSERT_TRUE(waitFor(counter.finished, 1));
    ASSERT_EQ(thread.start(onePass, &counter), 0);
    ASSERT_TRUE(waitFor(counter.finished, 2));
    EXPECT_EQ(counter.started, 2);
    EXPECT_EQ(thread.runOk(), 1); // letting go does not touch the flag
    EXPECT_EQ(thread.stop(), 0);
}

TEST_F(CThreadSingleTest, RunStaticWithoutObjectReturnsSix) {
    EXPECT_EQ(CThreadSingle::RunStatic(nullptr), 6u);
    EXPECT_EQ(CThreadSingle::wakeDescriptor(), -1); // not a worker thread
}

TEST_F(CThreadSingleTest, NullFunctionRunsTheOverride) {
    Refresher refresher;
    ASSERT_EQ(refresher.start(nullptr, nullptr), 0);
    for (int i = 0; i < 500 && refresher.passes < 3; ++i)
        usleep(10000);
    EXPECT_GE(refresher.passes, 3);
    refresher.stop();
    int passes = refresher.passes;
    usleep(50000);
    EXPECT_EQ(refresher.passes, passes);
}

TEST_F(CThreadSingleTest, StopWakesABodyBlockedInALongWait) {
    ASSERT_EQ(thread.start(blockInLongWait, &counter), 0);
    ASSERT_TRUE(waitFor(counter.started, 1));
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(thread.stop(), 0);
    auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(counter.finished, 1);
    // The wait was a minute long; ending it well before shows the wake-up worked.
    EXPECT_LT(waited, std::chrono::seconds(30));
}

TEST_F(CThreadSingleTest, DestructorStopsARunningThread) {
    Counter scoped;
    {
        CThreadSingle owner;
        scoped.thread = &owner;
        ASSERT_EQ(owner.start(loopUntilStopped, &scoped), 0);
        ASSERT_TRUE(waitFor(scoped.started, 1));
    }
    EXPECT_EQ(scoped.finished, 1);
}
