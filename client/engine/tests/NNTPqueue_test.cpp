#include "NNTPqueue.h"
#include "ProgramFolder.h"
#include "RandomBytes.h"
#include "RecordingModel.h"
#include "YencPostWriter.h"
#include "articleSchema.h"
#include "cDirectWriter.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh program folder with an article database, a temporary folder and a queue that
// reports to a recording model and observer.
class QueueTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        fs::create_directory("temp");
        writeFile(ARTICLES_SQL, ARTICLES_SCHEMA);
        ASSERT_EQ(db.open(ARTICLES_DB, ARTICLES_SQL), SQLITE_OK);
        makeQueue();
    }
    void TearDown() override {
        queue.reset();
        db.close();
        ProgramFolder::TearDown();
    }
    void makeQueue() {
        queue = std::make_unique<NNTPqueue>(&model, &db);
        queue->settemp("./temp");
        queue->attach(&observer);
    }

    void sql(const std::string& text) {
        std::lock_guard<sqliteDB> guard(db);
        db.exec(text.c_str());
    }
    std::string rows(const std::string& text) { return column(db, text.c_str()); }

    // A post row, once per id.
    void addPost(int pid) {
        sql("INSERT OR IGNORE INTO post VALUES(" + std::to_string(pid) + ", 'post" +
            std::to_string(pid) + ".nzb', '')");
    }
    // File `fid` of post `pid` announcing `segcount` segments and listing `segments`
    // (numbered from 1, segment ids fid*1000 + number, 100 bytes each).
    void addFile(int pid, int fid, int segcount, int segments, bool queued = true) {
        addPost(pid);
        sql("INSERT INTO file(fileFID, filePID, fileSubject, fileName, fileSize, segcount, "
            "segavail, parblocks) VALUES(" +
            std::to_string(fid) + "," + std::to_string(pid) + ",'subject " + std::to_string(fid) +
            "','f" + std::to_string(fid) + ".rar'," + std::to_string(segments * 100) + "," +
            std::to_string(segcount) + "," + std::to_string(segments) + ",0)");
        for (int n = 1; n <= segments; ++n)
            addSegment(fid, fid * 1000 + n, n);
        if (queued) sql("INSERT INTO queu(queuFID) VALUES(" + std::to_string(fid) + ")");
    }
    void addSegment(int fid, int sid, int number, const std::string& msgid = "") {
        std::string id = msgid.empty() ? "s" + std::to_string(sid) + "@test" : msgid;
        sql("INSERT INTO segm(segmSID, segmFID, segmNum, segmBytes, segmMsgid) VALUES(" +
            std::to_string(sid) + "," + std::to_string(fid) + "," + std::to_string(number) +
            ",100,'" + id + "')");
    }
    std::string state(int sid) {
        return rows("SELECT segmState FROM segm WHERE segmSID=" + std::to_string(sid));
    }
    // Hands worker `index` a segment and saves an article for it.
    int fetch(int index, int host = 1) {
        if (!queue->next(index, host)) return 0;
        int sid = queue->slot(index)->segmSID;
        std::string article = "body of " + std::to_string(sid) + "\r\n.\r\n";
        queue->save(index, &article);
        return sid;
    }

    sqliteDB db;
    RecordingModel model;
    RecordingObserver observer;
    std::unique_ptr<NNTPqueue> queue;
};

TEST_F(QueueTest, SegmentAndFileStatesFollowNextSaveRsetAndFail) {
    addFile(1, 1, 3, 3);
    queue->load(1);
    tfile* file = queue->qfile(1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->fileState, fsQueued);

    const char* msgid = queue->next(0, 1);
    ASSERT_NE(msgid, nullptr);
    const int first = queue->slot(0)->segmSID;
    EXPECT_EQ(std::string(msgid), "s" + std::to_string(first) + "@test");
    EXPECT_EQ(state(first), "1");
    EXPECT_EQ(file->fileState, fsDownloading);
    EXPECT_EQ(file->fileBusy, 1);

    ASSERT_NE(queue->next(1, 1), nullptr);
    const int second = queue->slot(1)->segmSID;
    EXPECT_EQ(file->fileBusy, 2);

    std::string article = "article\r\n.\r\n";
    queue->save(0, &article);
    EXPECT_EQ(state(first), "2");
    EXPECT_EQ(rows("SELECT fileProgress FROM file WHERE fileFID=1"), "100");
    EXPECT_EQ(file->fileProgress, 100);
    EXPECT_EQ(file->segd.size(), 1u);
    EXPECT_EQ(readFile("temp/1.1." +
                       [&] {
                           char hex[16];
                           snprintf(hex, sizeof hex, "%x", first);
                           return std::string(hex);
                       }() +
                       ".segm"),
              article);
    EXPECT_EQ(file->fileState, fsDownloading); // still one busy

    queue->rset(1);
    EXPECT_EQ(state(second), "0");
    EXPECT_EQ(file->fileBusy, 0);
    EXPECT_EQ(file->fileState, fsQueued);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");

    ASSERT_NE(queue->next(2, 4), nullptr);
    const int third = queue->slot(2)->segmSID;
    queue->fail(2, 4);
    EXPECT_EQ(state(third), "0");
    EXPECT_EQ(rows("SELECT segfSID || ':' || segfHost FROM segf"), std::to_string(third) + ":4");

    // A slot that was given back holds nothing: a second rset cannot undo a saved segment.
    queue->rset(0);
    EXPECT_EQ(state(first), "2");
}

TEST_F(QueueTest, WorkersOfOneServerNeverShareASegment) {
    constexpr int kFiles = 4, kSegments = 100, kWorkers = 8;
    for (int fid = 1; fid <= kFiles; ++fid)
        addFile(1, fid, kSegments, kSegments);
    queue->load(1);
    std::vector<std::vector<int>> taken(kWorkers);
    std::vector<std::thread> workers;
    for (int index = 0; index < kWorkers; ++index)
        workers.emplace_back([&, index] {
            for (int round = 0; round < kFiles * kSegments; ++round) { // bounded
                int sid = fetch(index);
                if (!sid) break;
                taken[index].push_back(sid);
            }
        });
    for (auto& worker : workers)
        worker.join();

    std::multiset<int> all;
    for (auto& list : taken)
        all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), (size_t)(kFiles * kSegments));
    EXPECT_EQ(std::set<int>(all.begin(), all.end()).size(), all.size()) << "a segment twice";
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState<>2"), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM queu"), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), std::to_string(kFiles));
    EXPECT_EQ(model.count(evtDecodeAdd), kFiles);
    for (int fid = 1; fid <= kFiles; ++fid) {
        EXPECT_EQ(queue->qfile(fid)->fileState, fsWaitDecode);
        EXPECT_EQ(queue->qfile(fid)->fileBusy, 0);
    }
}

TEST_F(QueueTest, AFailedSegmentGoesToOtherServersUntilItsFileIsRetried) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    ASSERT_NE(queue->next(0, 1), nullptr);
    queue->fail(0, 1);
    EXPECT_EQ(queue->next(0, 1), nullptr) << "server 1 failed it";
    ASSERT_NE(queue->next(1, 2), nullptr) << "server 2 may try";
    queue->fail(1, 2);
    EXPECT_EQ(queue->next(1, 2), nullptr);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "2");

    std::vector<int> ids{1};
    testing::internal::CaptureStdout();
    queue->handleCommandT(cmdFileRetry, &ids, nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("retry... 1 \n"), std::string::npos);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_NE(queue->next(0, 1), nullptr);
}

// A segment missing on every configured server never arrives: once everything else of
// its file is saved, the file goes to the decoder without it (a repair may fill the gap).
TEST_F(QueueTest, ASegmentEveryServerFailedOnIsGivenUpAndItsFileDecodedWithoutIt) {
    queue->setHosts({1, 2, 2});
    addFile(1, 1, 3, 3);
    addFile(1, 2, 2, 2);
    queue->load(1);
    tfile* file = queue->qfile(1);
    ASSERT_NE(queue->next(0, 1), nullptr);
    const int missing = queue->slot(0)->segmSID;
    queue->fail(0, 1);
    ASSERT_NE(fetch(0, 1), 0);
    ASSERT_NE(fetch(0, 1), 0);
    EXPECT_EQ(file->fileState, fsQueued) << "server 2 may still have it";
    EXPECT_EQ(model.count(evtDecodeAdd), 0);

    ASSERT_NE(queue->next(1, 2), nullptr);
    ASSERT_EQ(queue->slot(1)->segmSID, missing);
    queue->fail(1, 2);
    EXPECT_EQ(file->fileState, fsWaitDecode);
    EXPECT_EQ(model.count(evtDecodeAdd, file), 1);
    EXPECT_EQ(rows("SELECT decoFID FROM deco"), "1");
    EXPECT_EQ(rows("SELECT queuFID FROM queu"), "2");

    // Given up before a restart, counted again by the load: the last save completes.
    ASSERT_NE(queue->next(0, 1), nullptr);
    queue->fail(0, 1);
    ASSERT_NE(queue->next(1, 2), nullptr);
    queue->fail(1, 2);
    queue->load(1);
    file = queue->qfile(2);
    ASSERT_NE(fetch(0, 1), 0);
    EXPECT_EQ(file->fileState, fsWaitDecode);
    EXPECT_EQ(rows("SELECT decoFID FROM deco ORDER BY decoFID"), "1,2");
}

TEST_F(QueueTest, TheLastSegmentMovesItsFileToTheDecoderListAndTellsTheModel) {
    addFile(1, 1, 3, 3);
    queue->load(1);
    tfile* file = queue->qfile(1);
    for (int round = 0; round < 2; ++round) {
        ASSERT_NE(fetch(0), 0);
        EXPECT_EQ(rows("SELECT COUNT(*) FROM queu"), "1") << "queued until complete";
        EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), "0");
    }
    EXPECT_EQ(model.count(evtDecodeAdd), 0);
    ASSERT_NE(fetch(0), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM queu"), "0");
    EXPECT_EQ(rows("SELECT decoFID || ':' || decoCheck FROM deco"), "1:0");
    EXPECT_EQ(rows("SELECT fileProgress FROM file"), "300");
    EXPECT_EQ(model.count(evtDecodeAdd, file), 1);
    EXPECT_EQ(file->fileState, fsWaitDecode);
    EXPECT_EQ(file->segd.size(), 3u);
    EXPECT_EQ(queue->slot(0)->last, 0);
    EXPECT_EQ(fetch(0), 0) << "nothing left";
}

TEST_F(QueueTest, SavingTheSameNumberTwiceDoesNotComplete) {
    addFile(1, 1, 2, 1);              // numbers 1 only ...
    addSegment(1, 1100, 1, "b@test"); // ... twice
    queue->load(1);
    EXPECT_NE(fetch(0), 0);
    EXPECT_NE(fetch(0), 0);
    EXPECT_EQ(queue->qfile(1)->segd.size(), 1u);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM queu"), "1");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), "0");
    EXPECT_EQ(model.count(evtDecodeAdd), 0);
    EXPECT_EQ(queue->qfile(1)->fileState, fsQueued);
}

TEST_F(QueueTest, ReleasingASurplusSegmentKeepsACompletedFileWaitingForTheDecoder) {
    addFile(1, 1, 2, 2);
    addSegment(1, 1100, 2, "surplus@test"); // the NZB lists number 2 twice
    queue->load(1);
    for (int index = 0; index < 3; ++index)
        ASSERT_NE(queue->next(index, 1), nullptr);
    std::string article = "x";
    int surplus = -1;
    std::set<int> saved;
    for (int index = 0; index < 3; ++index) {
        if (saved.count(queue->slot(index)->segmNum)) {
            surplus = index;
            continue;
        }
        saved.insert(queue->slot(index)->segmNum);
        queue->save(index, &article);
    }
    ASSERT_GE(surplus, 0);
    tfile* file = queue->qfile(1);
    EXPECT_EQ(file->fileState, fsWaitDecode);
    queue->rset(surplus);
    EXPECT_EQ(file->fileState, fsWaitDecode);
    EXPECT_EQ(file->fileBusy, 0);
}

TEST_F(QueueTest, DeletingAPostRemovesItsRowsMarksAndSegmentFilesOnly) {
    addFile(1, 1, 2, 2);
    addFile(0x11, 2, 2, 2); // a post id whose hex text begins like the other's
    sql("INSERT INTO segf VALUES(1001, 1), (2001, 1)");
    sql("INSERT INTO deco(decoFID) VALUES(1)");
    queue->load(1);
    for (const char* name : {"1.1.3e9.segm", "1.1.3ea.segm", "11.2.7d1.segm"})
        writeFile(std::string("temp/") + name, "x");
    std::vector<int> posts{1};
    observer.clear();
    queue->handleCommandT(cmdPostRemove, &posts, nullptr);

    EXPECT_EQ(rows("SELECT postPID FROM post"), "17");
    EXPECT_EQ(rows("SELECT fileFID FROM file"), "2");
    EXPECT_EQ(rows("SELECT DISTINCT segmFID FROM segm"), "2");
    EXPECT_EQ(rows("SELECT queuFID FROM queu"), "2");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), "0");
    EXPECT_EQ(rows("SELECT segfSID FROM segf"), "2001");
    EXPECT_FALSE(fs::exists("temp/1.1.3e9.segm"));
    EXPECT_FALSE(fs::exists("temp/1.1.3ea.segm"));
    EXPECT_TRUE(fs::exists("temp/11.2.7d1.segm"));
    EXPECT_EQ(queue->qpost(1), nullptr);
    EXPECT_NE(queue->qpost(0x11), nullptr);
    EXPECT_EQ(observer.codes(), (std::vector<unsigned>{updPostList, updFileList}));

    // The next load, even without clearing, builds the caches afresh.
    model.clear();
    queue->load(0);
    EXPECT_EQ(queue->qfile(1), nullptr);
    EXPECT_EQ(model.count(evtDecodeClear), 1);
}

TEST_F(QueueTest, FileCommandsChangeRowsAndStatesAsTheirKindAllows) {
    addFile(1, 1, 2, 2, false);
    addFile(1, 2, 2, 2);
    queue->load(1);
    tfile* one = queue->qfile(1);
    tfile* two = queue->qfile(2);
    std::vector<int> ids{1, 2};

    std::vector<int> first{1};
    queue->handleCommandT(cmdFileQueue, &first, nullptr);
    EXPECT_EQ(rows("SELECT queuFID || ':' || queuPrio FROM queu"), "1:7,2:7");
    EXPECT_EQ(one->fileState, fsQueued);

    // Priority 3: queuPrio only.
    observer.clear();
    testing::internal::CaptureStdout();
    queue->handleCommandT(cmdFilePrio + 3, &first, nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("setprio... 3 1 \n"), std::string::npos);
    EXPECT_EQ(rows("SELECT queuFID || ':' || queuPrio FROM queu"), "1:3,2:7");
    EXPECT_EQ(one->fileState, fsQueued);
    EXPECT_TRUE(observer.codes().empty());

    // Decode: nothing for files without progress.
    testing::internal::CaptureStdout();
    queue->handleCommandT(cmdFileDecode, &ids, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), "0");
    EXPECT_EQ(model.count(evtDecodeAdd), 0);

    // With progress the file leaves the queue for the decoder list.
    ASSERT_NE(fetch(0), 0);
    queue->handleCommandT(cmdFileDecode, &ids, nullptr);
    tfile* fetched = one->fileProgress > 0 ? one : two;
    tfile* other = fetched == one ? two : one;
    EXPECT_EQ(rows("SELECT decoFID FROM deco"), std::to_string(fetched->fileFID));
    EXPECT_EQ(rows("SELECT queuFID FROM queu"), std::to_string(other->fileFID));
    EXPECT_EQ(fetched->fileState, fsWaitDecode);
    EXPECT_EQ(model.count(evtDecodeAdd, fetched), 1);

    // Unqueue: state 0 for the queued file; the file waiting for decoding stays.
    queue->handleCommandT(cmdFileUnqueue, &ids, nullptr);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM queu"), "0");
    EXPECT_EQ(other->fileState, fsNotQueued);
    EXPECT_EQ(fetched->fileState, fsWaitDecode);

    // Unknown codes and commands without a list are ignored.
    queue->handleCommandT(13, &ids, nullptr);
    queue->handleCommandT(cmdFileQueue, nullptr, nullptr);
}

// "Queue" on a post lists its queued files beside its PAR2 volumes.
TEST_F(QueueTest, QueueingFilesOfWhichSomeAreQueuedQueuesTheOthers) {
    addFile(1, 1, 1, 1);        // queued, priority 4
    addFile(1, 2, 1, 1, false); // a PAR2 volume, not queued
    addFile(1, 3, 1, 1, false); // decoded: stays out of the queue
    sql("UPDATE queu SET queuPrio=4 WHERE queuFID=1");
    sql("INSERT INTO deco VALUES(3, 2)");
    queue->load(1);
    std::vector<int> post{1, 2, 3};
    testing::internal::CaptureStdout();
    queue->handleCommandT(cmdFileQueue, &post, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("SQLerr"), std::string::npos);
    EXPECT_EQ(rows("SELECT queuFID || ':' || queuPrio FROM queu ORDER BY queuFID"), "1:4,2:7");
    EXPECT_EQ(queue->qfile(2)->fileState, fsQueued);
    EXPECT_EQ(queue->qfile(3)->fileState, fsDecoded);
    EXPECT_EQ(fetch(0) + fetch(1), 1001 + 2001);
}

// An import is stored before the reload loads it: until then its segments are not
// handed out, and one already handed out is given back instead of booked without a file.
TEST_F(QueueTest, SegmentsOfFilesNotLoadedYetAreNeitherHandedOutNorBooked) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    ASSERT_TRUE(queue->next(0, 1));
    addFile(2, 2, 2, 2);
    EXPECT_EQ(queue->next(1, 1), nullptr);
    EXPECT_EQ(state(2001), "0");
    EXPECT_EQ(state(2002), "0");

    sql("DELETE FROM file WHERE fileFID=1");
    sql("DELETE FROM queu WHERE queuFID=1");
    queue->load(1); // file 1 leaves the cache while worker 0 fetches its segment
    std::string article = "body\r\n.\r\n";
    queue->save(0, &article);
    EXPECT_EQ(state(1001), "0");
    EXPECT_EQ(queue->slot(0)->segmSID, 0);

    EXPECT_EQ(fetch(1), 2001);
    EXPECT_TRUE(fs::exists("temp/2.2.7d1.segm"));
}

// Ids are "maximum plus one": the next import can bring back the ids of a deleted post
// (here the same NZB again), and a worker that was fetching when the post went must not
// book its article into the new rows.
TEST_F(QueueTest, ASaveAfterItsPostWasDeletedIsDroppedEvenWhenTheIdsComeBack) {
    addFile(1, 1, 1, 1);
    addFile(2, 2, 2, 2);
    sql("UPDATE queu SET queuPrio=0 WHERE queuFID=1");
    queue->load(1);
    queue->handleCommandT(cmdQueuePrio, (void*)1, nullptr);
    ASSERT_NE(queue->next(0, 1), nullptr);
    ASSERT_EQ(queue->slot(0)->segmSID, 1001);
    ASSERT_NE(queue->next(1, 1), nullptr); // post 2, which stays
    const int other = queue->slot(1)->segmSID;

    std::vector<int> posts{1};
    queue->handleCommandT(cmdPostRemove, &posts, nullptr);
    EXPECT_EQ(state(other), "0") << "segments in work go back";
    EXPECT_EQ(queue->qfile(2)->fileBusy, 0);
    addFile(1, 1, 1, 1); // the same NZB imported again: the same ids
    sql("UPDATE queu SET queuPrio=0 WHERE queuFID=1");
    queue->load(0);

    std::string article = "body\r\n.\r\n";
    model.clear();
    testing::internal::CaptureStdout();
    queue->save(0, &article);
    queue->save(1, &article);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("save: segment 1001 handed out before posts were deleted or the "
                       "database was reset, dropped"),
              std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists("temp/1.1.3e9.segm"));
    EXPECT_EQ(state(1001), "0");
    EXPECT_EQ(state(other), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM deco"), "0");
    EXPECT_EQ(model.count(evtDecodeAdd), 0);
    EXPECT_EQ(queue->qfile(1)->fileBusy, 0);
    EXPECT_EQ(queue->qfile(2)->fileBusy, 0);
    EXPECT_EQ(queue->qfile(2)->fileProgress, 0);

    // Fetched afresh, both are booked once.
    EXPECT_EQ(fetch(2), 1001);
    EXPECT_EQ(rows("SELECT decoFID FROM deco"), "1");
    EXPECT_EQ(model.count(evtDecodeAdd, queue->qfile(1)), 1);
    EXPECT_NE(fetch(3), 0);
    EXPECT_EQ(queue->qfile(2)->segd.size(), 1u);
}

TEST_F(QueueTest, AWorkerBackAfterAResetBooksNothingIntoTheNextImport) {
    addFile(1, 1, 2, 2);
    queue->load(1);
    ASSERT_NE(queue->next(0, 1), nullptr);
    ASSERT_NE(queue->next(1, 1), nullptr);
    const int saved = queue->slot(0)->segmSID;
    const int failed = queue->slot(1)->segmSID;
    queue->resetDB(1);
    addFile(1, 1, 2, 2); // the first import after the reset numbers from 1 again
    queue->load(0);
    ASSERT_NE(queue->next(2, 1), nullptr);
    const int inWork = queue->slot(2)->segmSID;

    std::string article = "body\r\n.\r\n";
    testing::internal::CaptureStdout();
    queue->save(0, &article);
    queue->fail(1, 1);
    std::string log = testing::internal::GetCapturedStdout();
    for (std::string line : {"save: segment " + std::to_string(saved) + " handed out before",
                             "fail: segment " + std::to_string(failed) + " handed out before"})
        EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(rows("SELECT segmSID || ':' || segmState FROM segm ORDER BY segmSID"),
              inWork == 1001 ? "1001:1,1002:0" : "1001:0,1002:1");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_TRUE(fs::is_empty("temp"));
    EXPECT_EQ(queue->qfile(1)->fileBusy, 1);
    EXPECT_EQ(queue->qfile(1)->fileProgress, 0);
}

TEST_F(QueueTest, PausedQueueHandsOutNothingWithoutTouchingTheDatabase) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    observer.clear();
    queue->handleCommandT(cmdQueueEnable, (void*)0, nullptr);
    EXPECT_EQ(queue->qenabled(), 0);
    db.close(); // any statement now would log an SQLerr line
    testing::internal::CaptureStdout();
    EXPECT_EQ(queue->next(0, 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    queue->handleCommandT(cmdQueueEnable, (void*)1, nullptr);
    queue->handleCommandT(cmdQueuePrio, (void*)1, nullptr);
    EXPECT_EQ(queue->qprioOn(), 1);
    ASSERT_EQ(observer.taken().size(), 3u);
    EXPECT_EQ(observer.taken()[0].code, updQueueEnabled);
    EXPECT_EQ(observer.taken()[0].data, (void*)0);
    EXPECT_EQ(observer.taken()[2].code, updQueuePrio);
    EXPECT_EQ(observer.taken()[2].data, (void*)1);
}

TEST_F(QueueTest, PriorityModeHandsOutTheLowestPriorityFirst) {
    addFile(1, 1, 1, 1);
    addFile(1, 2, 1, 1);
    sql("UPDATE queu SET queuPrio=9 WHERE queuFID=1");
    sql("UPDATE queu SET queuPrio=0 WHERE queuFID=2");
    queue->load(1);
    queue->handleCommandT(cmdQueuePrio, (void*)1, nullptr);
    ASSERT_NE(queue->next(0, 1), nullptr);
    EXPECT_EQ(queue->slot(0)->segmFID, 2);
}

TEST_F(QueueTest, LoadBuildsTheCachesAndHandsWaitingFilesToTheDecoder) {
    addFile(1, 1, 2, 2);        // queued, one segment fetched
    addFile(1, 2, 1, 1, false); // waiting for decoding
    addFile(2, 3, 1, 1, false); // decoded
    addFile(2, 4, 1, 1, false); // not queued
    sql("UPDATE segm SET segmState=2 WHERE segmSID IN (1001, 2001)");
    sql("INSERT INTO deco VALUES(2, 0), (3, 2)");
    testing::internal::CaptureStdout();
    EXPECT_EQ(queue->load(1), 4);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("loaded 4 files 500 Bytes 0 MBytes "),
              std::string::npos);

    EXPECT_EQ(queue->qfile(1)->fileState, fsQueued);
    EXPECT_EQ(queue->qfile(2)->fileState, fsWaitDecode);
    EXPECT_EQ(queue->qfile(3)->fileState, fsDecoded);
    EXPECT_EQ(queue->qfile(4)->fileState, fsNotQueued);
    EXPECT_EQ(queue->qfile(1)->segd.size(), 1u);
    EXPECT_STREQ(queue->qfile(1)->segd[1].segmMsgid, "s1001@test");
    EXPECT_STREQ(queue->qfile(1)->fileName, "f1.rar");
    EXPECT_STREQ(queue->qpost(1)->postDesc, "post1.nzb");
    EXPECT_EQ(model.count(evtDecodeLoad, queue->qfile(2)), 1);
    EXPECT_EQ(model.count(evtDecodeLoad, queue->qfile(3)), 1);
    EXPECT_EQ(model.count(evtDecodeLoad), 2);
    EXPECT_EQ(model.count(evtDecodeClear), 0) << "nothing cached yet";
    EXPECT_EQ(observer.codes(),
              (std::vector<unsigned>{updQueueEnabled, updFileList, updPostList, updQueueEnabled}));

    std::vector<int> list;
    queue->qposts(&list);
    EXPECT_EQ(list, (std::vector<int>{1, 2}));
    queue->qfiles(&list, 2);
    EXPECT_EQ(list, (std::vector<int>{3, 4}));
    EXPECT_EQ(queue->qfile(4)->row, 1);
    queue->qfiles(&list, 99);
    EXPECT_TRUE(list.empty());

    // Clearing tells the decoder to drop its list before the records go.
    model.clear();
    queue->load(1);
    EXPECT_EQ(model.count(evtDecodeClear), 1);
    EXPECT_EQ(model.taken().front().code, evtDecodeClear);
    EXPECT_EQ(queue->qfile(2)->fileState, fsWaitDecode);
}

TEST_F(QueueTest, OverLongMessageIdsNeverOverrunAField) {
    const std::string longest(255, 'a'); // fits the slot whole
    const std::string tooLong(300, 'b'); // no valid message id is this long
    addFile(1, 1, 2, 0);
    addSegment(1, 1001, 1, longest);
    addSegment(1, 1002, 2, tooLong);
    queue->load(1);
    std::set<std::string> handed;
    testing::internal::CaptureStdout();
    for (int index = 0; index < 2; ++index) {
        const char* msgid = queue->next(index, 1);
        ASSERT_NE(msgid, nullptr);
        handed.insert(msgid);
        std::string article = "x";
        queue->save(index, &article);
    }
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("next: message id of segment 1002 longer than 255 characters, cut"),
              std::string::npos);
    EXPECT_EQ(handed, (std::set<std::string>{longest, tooLong.substr(0, 255)}));
    EXPECT_EQ(std::string(queue->qfile(1)->segd[1].segmMsgid), longest);
}

TEST_F(QueueTest, AWorkerIndexOutsideTheSlotsIsRefused) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    std::string article = "x";
    testing::internal::CaptureStdout();
    for (int index : {-1, NNTPqueue::SLOTS, 1000}) {
        EXPECT_EQ(queue->next(index, 1), nullptr);
        queue->save(index, &article);
        queue->rset(index);
        queue->fail(index, 1);
        EXPECT_EQ(queue->slot(index), nullptr);
    }
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("next: worker index 32 is no slot (0..31)"), std::string::npos);
    EXPECT_EQ(state(1001), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_EQ(queue->qfile(1)->fileBusy, 0);
    EXPECT_NE(queue->next(NNTPqueue::SLOTS - 1, 1), nullptr);
}

TEST_F(QueueTest, ASegmentFileThatCannotBeWrittenIsFetchedAgainLater) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    queue->settemp("./missing");
    observer.clear();
    testing::internal::CaptureStdout();
    EXPECT_EQ(fetch(0), 1001);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("segment file not written: ./missing/1.1.3e9.segm"), std::string::npos);
    EXPECT_NE(log.find("save: segment 1001 given back, queue paused"), std::string::npos);
    EXPECT_EQ(state(1001), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segf"), "0");
    EXPECT_EQ(rows("SELECT fileProgress FROM file"), "0");
    tfile* file = queue->qfile(1);
    EXPECT_EQ(file->fileProgress, 0);
    EXPECT_TRUE(file->segd.empty());
    EXPECT_EQ(file->fileBusy, 0);
    EXPECT_EQ(file->fileState, fsQueued);
    EXPECT_EQ(queue->qenabled(), 0);
    EXPECT_EQ(observer.taken().back().code, updQueueEnabled);

    // Once the folder is there and the user resumes, the segment is fetched whole.
    fs::create_directory("missing");
    queue->handleCommandT(cmdQueueEnable, (void*)1, nullptr);
    EXPECT_EQ(fetch(0), 1001);
    EXPECT_EQ(state(1001), "2");
    EXPECT_TRUE(fs::exists("missing/1.1.3e9.segm"));
    EXPECT_EQ(model.count(evtDecodeAdd, file), 1);
}

TEST_F(QueueTest, ResetRebuildsTheDatabaseAndEmptiesCachesAndSegmentFiles) {
    addFile(1, 1, 1, 1);
    queue->load(1);
    writeFile("temp/1.1.3e9.segm", "x");
    queue->resetDB(0);                               // on a thread of its own
    for (int i = 0; i < 600 && queue->qfile(1); ++i) // bounded wait, up to 60 s
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    queue.reset(); // waits for the reset thread
    EXPECT_EQ(rows("SELECT COUNT(*) FROM file"), "0");
    EXPECT_EQ(rows("SELECT version FROM vers"), "100");
    EXPECT_FALSE(fs::exists("temp/1.1.3e9.segm"));
    EXPECT_GE(model.count(evtDecodeClear), 1);
}

// The queue with a direct writer: yEnc articles go into "download/<name>.<id>.part", their
// record into "temp/<post>.<file>.parts".
class QueueDirectWriteTest : public QueueTest {
  protected:
    void SetUp() override {
        QueueTest::SetUp();
        fs::create_directory("download");
        writer.setfolders("./temp", "./download");
        queue->setDirectWriter(&writer);
    }

    // The articles of `data` posted as `name` in parts of 20000 bytes.
    std::vector<std::string> articles(const std::string& name, const std::string& data) {
        fs::create_directories("in/" + name);
        fs::create_directories("spool/" + name);
        writeFile("in/" + name + "/" + name, data);
        PostOptions options;
        options.spool = "spool/" + name;
        options.partSize = 20000;
        const std::vector<PostedFile> posted = makePost({"in/" + name + "/" + name}, options);
        std::vector<std::string> received;
        for (const PostedSegment& segment : posted[0].segments)
            received.push_back(readFile(options.spool + "/" + segment.messageId));
        return received;
    }
    void save(int index, const std::vector<std::string>& of) {
        std::string article = of[queue->slot(index)->segmNum - 1];
        queue->save(index, &article);
    }
    // Files 1 (post 1) and 2 (post 2) of two segments each, their first parts written.
    // Returns the worker still holding segment 2 of file 1.
    int halfWriteTwoFiles(const std::vector<std::string>& of) {
        addFile(1, 1, 2, 2);
        addFile(2, 2, 2, 2);
        queue->load(1);
        int holder = -1;
        for (int index = 0; index < 4; ++index) {
            if (!queue->next(index, 1))
                ADD_FAILURE() << index;
            else if (queue->slot(index)->segmNum == 1)
                save(index, of);
            else if (queue->slot(index)->segmFID == 1)
                holder = index;
            else
                queue->rset(index);
        }
        EXPECT_EQ(names("download"), (std::vector<std::string>{"f1.rar.1.part", "f2.rar.2.part"}));
        EXPECT_EQ(names("temp"), (std::vector<std::string>{"1.1.parts", "2.2.parts"}));
        // Neither is the writer's: a finished file and someone else's partial download.
        writeFile("download/old.bin", "finished");
        writeFile("download/notes.part", "not ours");
        return holder;
    }
    // File 1 imported again with other contents under the same ids, with its worker from
    // before still holding a segment: the late save writes nothing and the new file is
    // written and finished from its own parts alone.
    void expectFileOneStartsClean(int holder, const std::vector<std::string>& old) {
        addFile(1, 1, 2, 2);
        queue->load(0);
        const std::vector<std::string> downloaded = names("download");
        testing::internal::CaptureStdout();
        save(holder, old);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("dropped"), std::string::npos) << log;
        EXPECT_EQ(names("download"), downloaded);

        const std::string data = randomBytes(30000, 2);
        const std::vector<std::string> fresh = articles("new.bin", data);
        for (int index : {4, 5}) {
            ASSERT_NE(queue->next(index, 1), nullptr);
            ASSERT_EQ(queue->slot(index)->segmFID, 1);
            save(index, fresh);
        }
        for (const std::string& name : names("temp"))
            EXPECT_EQ(name.find(".segm"), std::string::npos) << name;
        ASSERT_EQ(writer.finish(*queue->qfile(1)), 0);
        EXPECT_TRUE(readFile("download/new.bin") == data);
        EXPECT_EQ(readFile("download/old.bin"), "finished");
    }

    static std::vector<std::string> names(const std::string& folder) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    cDirectWriter writer;
};

TEST_F(QueueDirectWriteTest, DeletingAPostRemovesThePartsOfItsFilesOnly) {
    const std::vector<std::string> old = articles("old.bin", randomBytes(40000, 1));
    const int holder = halfWriteTwoFiles(old);
    std::vector<int> posts{1};
    queue->handleCommandT(cmdPostRemove, &posts, nullptr);
    EXPECT_EQ(names("download"),
              (std::vector<std::string>{"f2.rar.2.part", "notes.part", "old.bin"}));
    EXPECT_EQ(names("temp"), std::vector<std::string>{"2.2.parts"});

    std::vector<int> other{2};
    queue->fqueue(&other, fqUnqueue);
    expectFileOneStartsClean(holder, old);
}

TEST_F(QueueDirectWriteTest, ResetRemovesEveryPartFileAndKeepsFinishedFiles) {
    const std::vector<std::string> old = articles("old.bin", randomBytes(40000, 1));
    const int holder = halfWriteTwoFiles(old);
    queue->resetDB(1);
    EXPECT_EQ(names("download"), (std::vector<std::string>{"notes.part", "old.bin"}));
    EXPECT_TRUE(fs::is_empty("temp"));
    expectFileOneStartsClean(holder, old);
}

TEST_F(QueueTest, ReloadsDuringTheDownloadNeverPullRecordsFromUnderWorkers) {
    constexpr int kFiles = 5, kSegments = 60, kWorkers = 4;
    for (int fid = 1; fid <= kFiles; ++fid)
        addFile(1, fid, kSegments, kSegments);
    queue->load(1);
    std::atomic<int> saved{0};
    std::vector<std::thread> workers;
    for (int index = 0; index < kWorkers; ++index)
        workers.emplace_back([&, index] {
            for (int round = 0; round < 2000 && saved.load() < kFiles * kSegments; ++round) {
                if (fetch(index))
                    ++saved;
                else
                    std::this_thread::yield(); // paused while a load runs
            }
        });
    for (int reload = 0; reload < 20; ++reload)
        queue->load(1);
    for (auto& worker : workers)
        worker.join();
    queue->load(1);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=1"), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmState=2"), std::to_string(saved.load()));
}

} // namespace
