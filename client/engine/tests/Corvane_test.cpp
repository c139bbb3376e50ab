#include "Corvane.h"
#include "EngineRig.h"
#include "NotificationLog.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"
#include "articleSchema.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// One worker of one test news server downloading a post of one file in `segments`
// articles. The worker idles for ten minutes unless a test asks for less, so that the
// state right after a give-back can be looked at.
class WorkerTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        posted = postRandomFile("data.bin", 5 * 2000, 2000, 7);
    }
    void TearDown() override {
        rig.reset();
        server.reset();
        ProgramFolder::TearDown();
    }

    // Starts the server with `arguments` (spool and log added) and a rig with one
    // worker for it; data.bin is posted in articles of 2000 bytes.
    void serve(std::vector<std::string> arguments, tworkerTimes times = slowIdle(),
               const std::string& user = "", const std::string& password = "") {
        arguments.insert(arguments.end(), {"--spool", "spool", "--log", log});
        server = std::make_unique<TestNewsServerProcess>(arguments);
        ASSERT_NE(server->port(), 0);
        rig = std::make_unique<EngineRig>(times);
        ASSERT_TRUE(rig->importNzb("post.nzb"));
        rig->addServer(server->port(), 7, 1, user, password);
        worker().attach(&notes);
    }
    static tworkerTimes slowIdle() {
        tworkerTimes times;
        times.idleWait = 10min;
        times.reconnectWait = 10ms;
        times.missingWait = 10ms;
        return times;
    }
    Corvane& worker() { return *rig->workers.at(0); }
    std::string id(int segment) const { return posted.segments.at(segment).messageId; }
    std::string rows(const std::string& sql) { return column(rig->db, sql.c_str()); }
    std::string segmentState(int segment) {
        return rows("SELECT segmState FROM segm WHERE segmMsgid='" + id(segment) + "'");
    }
    std::string segmentId(int segment) {
        return rows("SELECT segmSID FROM segm WHERE segmMsgid='" + id(segment) + "'");
    }
    bool wentIdle() {
        return waitUntil([&] { return notes.has("12:1"); });
    }

    const std::string log = "server.log";
    PostedFile posted;
    std::unique_ptr<TestNewsServerProcess> server;
    std::unique_ptr<EngineRig> rig;
    NotificationLog notes;
};

TEST_F(WorkerTest, ABrokenTransferIsRetriedTwiceOnFreshConnectionsThenGivenBackUnmarked) {
    serve({"--cut-after", "100", "--cut-ids", id(0), "--cut-times", "3"});
    testing::internal::CaptureStdout();
    worker().start();
    bool idle = wentIdle();
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);

    EXPECT_EQ(logLines(log, "ARTICLE <" + id(0) + ">"), 3);
    EXPECT_EQ(logLines(log, "CUT after"), 3);
    EXPECT_EQ(logLines(log, "CONNECT"), 3);
    EXPECT_NE(printed.find("0: sock error(-001): "), std::string::npos) << printed;
    EXPECT_EQ(segmentState(0), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_EQ(worker().cinfo(), nullptr);

    // Unmarked, so the same server is offered it again: the next round fetches it.
    worker().stop();
    worker().wait();
    worker().start();
    ASSERT_TRUE(waitUntil([&] { return rig->filesIn(fsWaitDecode) == 1; }));
    EXPECT_EQ(logLines(log, "ARTICLE <" + id(0) + ">"), 4);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=2"), "5");
}

TEST_F(WorkerTest, RefusedAuthenticationIsRenewedTwiceThenTheSegmentIsGivenBack) {
    serve({"--user", "reader", "--pass", "secret"}, slowIdle(), "reader", "wrong");
    testing::internal::CaptureStdout();
    worker().start();
    bool idle = wentIdle();
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);

    EXPECT_EQ(logLines(log, "AUTHINFO USER reader"), 3);
    EXPECT_EQ(logLines(log, "ARTICLE <"), 3);
    EXPECT_NE(printed.find("0: authentication refused: 480"), std::string::npos) << printed;
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=0"), "5");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
}

TEST_F(WorkerTest, AMissingArticleIsMarkedForThisServerAndTheWorkerMovesOn) {
    serve({"--missing", id(2)});
    testing::internal::CaptureStdout();
    worker().start();
    bool idle = wentIdle();
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);

    EXPECT_EQ(rows("SELECT segfSID || ':' || segfHost FROM segf"), segmentId(2) + ":7");
    EXPECT_EQ(logLines(log, "ARTICLE <" + id(2) + ">"), 1);
    EXPECT_EQ(segmentState(2), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=2"), "4");
    EXPECT_NE(printed.find("0: 430"), std::string::npos) << printed;
    EXPECT_EQ(rig->filesIn(fsQueued), 1); // not complete: waits for another server
}

TEST_F(WorkerTest, StoppingDuringATransferGivesTheSegmentBackUnmarked) {
    // Every answer comes late, so the stop lands while the article is awaited; an
    // uninterrupted worker would receive and save it.
    serve({"--delay", "4000"});
    worker().start();
    ASSERT_TRUE(waitUntil([&] { return logLines(log, "ARTICLE <") == 1; }));
    EXPECT_EQ(worker().cstate(), csActive);
    ASSERT_NE(worker().cinfo(), nullptr);
    worker().stop();
    worker().wait();

    EXPECT_EQ(worker().cstate(), csDisabled);
    EXPECT_EQ(worker().cinfo(), nullptr);
    std::vector<std::string> states = notes.starting("12:");
    EXPECT_EQ(states, (std::vector<std::string>{"12:2", "12:3", "12:0"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=0"), "5");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_EQ(logLines(log, "ARTICLE <"), 1);
}

TEST_F(WorkerTest, APausedQueueMakesTheWorkerIdleWithoutAConnectionUntilResumed) {
    tworkerTimes times = slowIdle();
    times.idleWait = 300ms;
    serve({"--delay", "400"}, times);
    worker().start();
    ASSERT_TRUE(waitUntil([&] { return rig->files().at(0)->fileProgress > 0; }));
    rig->queue.handleCommandT(cmdQueueEnable, (void*)(intptr_t)0, nullptr);
    ASSERT_TRUE(wentIdle());
    EXPECT_EQ(worker().cspeed(), 0);
    EXPECT_EQ(worker().cdelay(), 0);
    ASSERT_TRUE(waitUntil([&] { return logLines(log, "QUIT") == 1; }));
    EXPECT_EQ(worker().cstate(), csIdle);
    EXPECT_NE(rows("SELECT COUNT(*) FROM segm WHERE segmState=0"), "0");

    rig->queue.handleCommandT(cmdQueueEnable, (void*)(intptr_t)1, nullptr);
    ASSERT_TRUE(waitUntil([&] { return rig->filesIn(fsWaitDecode) == 1; }));
    ASSERT_TRUE(waitUntil([&] { return notes.starting("12:").size() == 4; }));
    std::vector<std::string> states = notes.starting("12:");
    EXPECT_EQ(states, (std::vector<std::string>{"12:2", "12:1", "12:2", "12:1"}));
}

// The worker's own idle wait is ten minutes in these two: only the wake-up can end it
// within the test's wait.
TEST_F(WorkerTest, AnIdleWorkerStartsAsSoonAsAFileIsQueued) {
    serve({});
    std::vector<int> file{rig->files().at(0)->fileFID};
    rig->queue.handleCommandT(cmdFileUnqueue, &file, nullptr);
    worker().start();
    ASSERT_TRUE(wentIdle());
    rig->queue.handleCommandT(cmdFileQueue, &file, nullptr);
    EXPECT_TRUE(waitUntil([&] { return rig->filesIn(fsWaitDecode) == 1; }));
}

TEST_F(WorkerTest, AnIdleWorkerStartsAsSoonAsTheQueueResumes) {
    serve({});
    rig->queue.handleCommandT(cmdQueueEnable, (void*)(intptr_t)0, nullptr);
    worker().start();
    ASSERT_TRUE(wentIdle());
    EXPECT_EQ(rig->files().at(0)->fileProgress, 0);
    rig->queue.handleCommandT(cmdQueueEnable, (void*)(intptr_t)1, nullptr);
    EXPECT_TRUE(waitUntil([&] { return rig->filesIn(fsWaitDecode) == 1; }));
}

TEST_F(ProgramFolder, WorkerReadsItsServerSectionAndStaysDisabledWhenStoppedIdle) {
    struct Row {
        const char* port;
        unsigned short expected;
    } rows[] = {{nullptr, 119}, {"563", 563}, {"0", 119}, {"70000", 119}, {"news", 119}};
    std::string longName(80, 'n');
    for (const Row& row : rows) {
        profile::writeString("srv", "hostport", row.port, CONFIG_INI);
        profile::writeString("srv", "hostname", longName.c_str(), CONFIG_INI);
        profile::writeInt("srv", "hostid", 3, CONFIG_INI);
        Corvane worker(4, nullptr);
        worker.rdconfig("srv");
        EXPECT_EQ(worker.client().port(), row.expected) << (row.port ? row.port : "absent");
        EXPECT_EQ(std::string(worker.chost()), longName.substr(0, 63));
        EXPECT_EQ(worker.hostid(), 3);
        EXPECT_EQ(worker.cindex(), 4);
        worker.stop(); // no thread: nothing would ever end a "stopping" state
        EXPECT_EQ(worker.cstate(), csDisabled);
    }
}

} // namespace
