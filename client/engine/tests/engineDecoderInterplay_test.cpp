// The decoder beside a running download: a reload while a decode runs, and a decode that
// fails. Real posts from the test news server, the real yydecode behind a stand-in that
// can hold it back or fail.
#include "EngineRig.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class DecoderInterplayTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        fs::create_directories("spool");
        fs::create_directories("originals");
    }
    void TearDown() override {
        news.reset();
        ProgramFolder::TearDown();
    }

    // A stand-in for yydecode in the program folder (the rig then links no other): logs
    // its call, runs `before`, then the real one.
    static void standIn(const std::string& before) {
        fs::remove("yydecode");
        writeFile("yydecode", "#!/bin/sh\necho \"$@\" >> calls.txt\n" + before +
                                  "\nexec " CORV_BIN_DIR "/yydecode \"$@\"\n");
        chmod("yydecode", 0755);
    }
    // Posts one random file as `nzb`.
    static void post(const std::string& name, const std::string& nzb, unsigned seed) {
        writeRandomFile("originals/" + name, 300 * 1000 + seed, seed);
        PostOptions options;
        options.spool = "spool";
        options.nzb = nzb;
        options.partSize = 100000;
        makePost({"originals/" + name}, options);
    }
    static bool restored(const std::string& name) {
        return fs::exists("download/" + name) &&
               readFile("download/" + name) == readFile("originals/" + name);
    }
    static int calls() { return logLines("calls.txt", "-D"); }
    // Serves the spool, imports `nzb` and starts the decoder and two workers; the
    // stand-in must be in place before.
    std::unique_ptr<EngineRig> download(const std::string& nzb) {
        news =
            std::make_unique<TestNewsServerProcess>(std::vector<std::string>{"--spool", "spool"});
        EXPECT_NE(news->port(), 0);
        tworkerTimes times;
        times.idleWait = 100ms;
        auto rig = std::make_unique<EngineRig>(times);
        rig->addServer(news->port(), 1, 2);
        EXPECT_TRUE(rig->importNzb(nzb));
        rig->decoder.start();
        rig->startWorkers();
        return rig;
    }
    static int stateOf(EngineRig& rig, const char* name) {
        for (tfile* file : rig.files())
            if (std::string(file->fileName) == name) return file->fileState;
        return -1;
    }

    std::unique_ptr<TestNewsServerProcess> news;
};

// An import reloads the caches; the decode running at idle priority must not hold up
// the reload, and so the workers, until it ends.
TEST_F(DecoderInterplayTest, AnImportDuringADecodeKeepsTheWorkersFetching) {
    post("first.bin", "first.nzb", 1);
    post("second.bin", "second.nzb", 2);
    // Held back until the test lets it go (bounded: one minute at most).
    standIn("touch started; i=0; while [ ! -e release ] && [ $i -lt 600 ]; do sleep 0.1; "
            "i=$((i+1)); done");
    std::unique_ptr<EngineRig> started = download("first.nzb");
    EngineRig& rig = *started;
    ASSERT_TRUE(waitUntil([] { return fs::exists("started"); }));

    std::atomic<bool> imported{false};
    std::thread import([&] { imported = rig.importNzb("second.nzb"); });
    const bool prompt = waitUntil([&] { return imported.load(); });
    const bool fetched =
        prompt && waitUntil([&] { return stateOf(rig, "second.bin") == fsWaitDecode; });
    const bool stillDecoding = !fs::exists("release");
    writeFile("release", "");
    import.join();
    EXPECT_TRUE(prompt) << "the import waited for the decode";
    EXPECT_TRUE(fetched) << "the second post was not fetched during the decode";
    EXPECT_TRUE(stillDecoding);

    ASSERT_TRUE(waitUntil([&] { return rig.filesIn(fsDecoded) == 2; }));
    EXPECT_TRUE(restored("first.bin"));
    EXPECT_TRUE(restored("second.bin"));
    EXPECT_EQ(calls(), 2) << "each file decoded once";
    EXPECT_EQ(column(rig.db, "SELECT decoCheck FROM deco"), "2,2");
}

TEST_F(DecoderInterplayTest, AFailedDecodeShowsWhyStaysFailedOverAReloadAndRetryDecodesIt) {
    post("data.bin", "post.nzb", 3);
    standIn("echo 'disk full'; exit 1");
    std::unique_ptr<EngineRig> started = download("post.nzb");
    EngineRig& rig = *started;
    ASSERT_TRUE(waitUntil([&] { return rig.filesIn(fsDecodeFailed) == 1; }));
    rig.decoder.stop();
    rig.decoder.wait(); // its writes to the record are seen whole from here
    tfile* file = rig.files().at(0);
    EXPECT_STREQ(file->fileError, "yydecode exit 1: disk full");
    EXPECT_EQ(column(rig.db, "SELECT decoCheck FROM deco"), "3");
    EXPECT_EQ(column(rig.db, "SELECT COUNT(*) FROM segm WHERE segmState<>2"), "0");

    // A reload (the next import, a restart) keeps it failed and does not decode it.
    rig.decoder.start();
    rig.queue.load(1);
    EXPECT_EQ(rig.filesIn(fsDecodeFailed), 1);
    std::this_thread::sleep_for(300ms); // a few of the decoder's looks at its list
    EXPECT_EQ(calls(), 1);

    standIn("");
    std::vector<int> ids{rig.files().at(0)->fileFID};
    rig.queue.handleCommandT(cmdFileRetry, &ids, nullptr);
    ASSERT_TRUE(waitUntil([&] { return rig.filesIn(fsDecoded) == 1; }));
    rig.decoder.stop();
    rig.decoder.wait();
    EXPECT_TRUE(restored("data.bin"));
    EXPECT_EQ(column(rig.db, "SELECT decoCheck FROM deco"), "2");
    EXPECT_STREQ(rig.files().at(0)->fileError, "");
}

} // namespace
