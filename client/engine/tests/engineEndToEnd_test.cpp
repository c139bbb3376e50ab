// The download engine end to end: real files posted with the post maker, served by two
// test news servers, imported through the converter, fetched by the workers of both
// servers and decoded by yydecode into the download folder.
#include "EngineRig.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST_F(ProgramFolder, TwoServersFetchAndTheDecoderRestoresEveryFileByteForByte) {
    fs::create_directories("spool");
    fs::create_directories("originals");
    writeRandomFile("originals/data.bin", 3 * 1024 * 1024 + 123, 11);
    writeFile("originals/notes.txt", "Notes on the post.\n.A line that begins with a dot.\n"
                                     "..and one with two.\nThe end.\n");
    PostOptions options;
    options.spool = "spool";
    options.nzb = "post.nzb";
    options.partSize = 256000;
    std::vector<PostedFile> post = makePost({"originals/data.bin", "originals/notes.txt"}, options);
    const PostedFile& data = post.at(0);
    ASSERT_GE(data.segments.size(), 10u);

    // The first server lacks three articles and breaks off one transfer once.
    std::vector<std::string> missing = {data.segments[1].messageId, data.segments[5].messageId,
                                        data.segments[9].messageId};
    std::string cut = data.segments[3].messageId;
    TestNewsServerProcess first({"--spool", "spool", "--log", "first.log", "--missing",
                                 missing[0] + "," + missing[1] + "," + missing[2], "--cut-after",
                                 "5000", "--cut-ids", cut, "--cut-times", "1"});
    TestNewsServerProcess second({"--spool", "spool", "--log", "second.log"});
    ASSERT_NE(first.port(), 0);
    ASSERT_NE(second.port(), 0);

    tworkerTimes times;
    times.idleWait = 200ms;
    times.reconnectWait = 50ms;
    EngineRig rig(times);
    ASSERT_TRUE(rig.importNzb("post.nzb"));
    ASSERT_EQ(rig.files().size(), 2u);
    std::string expectedMarks =
        column(rig.db, ("SELECT segmSID || ':1' FROM segm WHERE segmMsgid IN ('" + missing[0] +
                        "','" + missing[1] + "','" + missing[2] + "') ORDER BY segmSID")
                           .c_str());
    rig.addServer(first.port(), 1, 2);
    rig.addServer(second.port(), 2, 2);
    rig.decoder.start();

    // The first server alone, until everything it has is fetched...
    rig.startWorkers(1);
    ASSERT_TRUE(waitUntil(
        [&] { return rig.workers[0]->cstate() == csIdle && rig.workers[1]->cstate() == csIdle; }));
    // The text file needs nothing from the second.
    ASSERT_TRUE(waitUntil([&] { return rig.filesIn(fsDecoded) == 1; }));
    // ...then the second server fetches what the first lacks.
    rig.startWorkers(2);
    ASSERT_TRUE(waitUntil([&] { return rig.filesIn(fsDecoded) == 2; }, 120s));
    rig.stopWorkers();

    for (const char* name : {"data.bin", "notes.txt"})
        EXPECT_EQ(readFile(std::string("download/") + name),
                  readFile(std::string("originals/") + name))
            << name;
    EXPECT_EQ(column(rig.db, "SELECT segfSID || ':' || segfHost FROM segf ORDER BY segfSID"),
              expectedMarks);
    EXPECT_EQ(logLines("first.log", "CUT after"), 1);
    EXPECT_EQ(logLines("first.log", "ARTICLE <" + cut + ">"), 2);
    EXPECT_EQ(logLines("second.log", "ARTICLE <"), 3);
    for (const std::string& id : missing)
        EXPECT_EQ(logLines("second.log", "ARTICLE <" + id + ">"), 1);
    EXPECT_EQ(column(rig.db, "SELECT COUNT(*) FROM segm"), "0");
    EXPECT_EQ(column(rig.db, "SELECT decoCheck FROM deco"), "2,2");
    EXPECT_EQ(column(rig.db, "SELECT COUNT(*) FROM queu"), "0");
    EXPECT_TRUE(fs::is_empty("temp"));
}

} // namespace
