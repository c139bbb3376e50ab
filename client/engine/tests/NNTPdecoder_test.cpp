#include "NNTPdecoder.h"
#include "cDirectWriter.h"
#include "NotificationLog.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A stand-in for yydecode in the program folder: logs its arguments, then runs `body`.
void installStandIn(const std::string& body) {
    writeFile("yydecode", "#!/bin/sh\necho \"$@\" >> calls.txt\n" + body + "\n");
    chmod("yydecode", 0755);
}

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> found;
    std::string text = readFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        found.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return found;
}

class DecoderTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        fs::create_directory("temp");
        fs::create_directory("download");
        ASSERT_EQ(createSchemaFile(), 0);
        openArticleDB(db);
        ASSERT_NE(db.db, nullptr);
        decoder = std::make_unique<NNTPdecoder>(&db, 100ms);
        decoder->setfolders("./temp", "./download");
        decoder->attach(&log);
    }
    void TearDown() override {
        decoder.reset();
        db.close();
        ProgramFolder::TearDown();
    }

    // A fetched file of post 1 with `segments` segment files and rows, waiting for
    // decoding.
    tfile* fetchedFile(int fid, int segments = 2) {
        tfile& file = files[fid];
        file.filePID = 1;
        file.fileFID = fid;
        file.fileState = fsWaitDecode;
        snprintf(file.fileName, sizeof file.fileName, "file %d.bin", fid);
        std::lock_guard<sqliteDB> guard(db);
        for (int n = 1; n <= segments; ++n) {
            writeFile(segmentFile(fid, n), "segment");
            std::string sql = "INSERT INTO segm (segmFID, segmNum, segmState) VALUES(" +
                              std::to_string(fid) + "," + std::to_string(n) + ",2)";
            db.exec(sql.c_str());
        }
        db.exec(("INSERT INTO deco(decoFID) VALUES(" + std::to_string(fid) + ")").c_str());
        return &file;
    }
    static std::string segmentFile(int fid, int n) {
        char name[64];
        snprintf(name, sizeof name, "temp/1.%x.%x.segm", fid, 100 + n);
        return name;
    }
    bool segmentFilesKept(int fid, int segments = 2) {
        for (int n = 1; n <= segments; ++n)
            if (!fs::exists(segmentFile(fid, n))) return false;
        return true;
    }
    std::string rows(const std::string& sql) { return column(db, sql.c_str()); }
    bool reaches(int fid, int state) {
        return waitUntil([&] { return files[fid].fileState == state; });
    }
    void endDecoder() {
        decoder->stop();
        decoder->wait();
    }

    sqliteDB db;
    std::unique_ptr<NNTPdecoder> decoder;
    std::map<int, tfile> files;
    NotificationLog log;
};

TEST_F(DecoderTest, WorksOffTheListInFileIdOrderAndMarksFilesDecoded) {
    installStandIn("exit 0");
    for (int fid : {9, 2, 10}) {
        decoder->adddecode(fid, fetchedFile(fid), 0);
        decoder->adddecode(fid, &files[fid], 0); // listed once
    }
    tfile* queued = fetchedFile(7);
    queued->fileState = fsQueued;
    decoder->adddecode(7, queued, 1); // not waiting: told, but not listed
    EXPECT_EQ(log.all(), std::vector<std::string>{"3:7=1"});
    EXPECT_EQ(decoder->denabled(), 0);

    ASSERT_EQ(decoder->start(), 1);
    EXPECT_EQ(decoder->denabled(), 1);
    for (int fid : {2, 9, 10})
        ASSERT_TRUE(reaches(fid, fsDecoded)) << fid;
    EXPECT_EQ(decoder->dstate(), 1);
    endDecoder();
    EXPECT_EQ(decoder->dstate(), 0);
    EXPECT_EQ(decoder->denabled(), 0);

    EXPECT_EQ(lines("calls.txt"),
              (std::vector<std::string>{"-e -c -l -b -n file 2.bin -D ./download ./temp/1.2.*.segm",
                                        "-e -c -l -b -n file 9.bin -D ./download ./temp/1.9.*.segm",
                                        "-e -c -l -b -n file 10.bin -D ./download ./temp/1.a.*.segm"}));
    EXPECT_EQ(log.starting("21:"), (std::vector<std::string>{"21:1", "21:0"}));
    EXPECT_EQ(log.starting("3:"), (std::vector<std::string>{"3:7=1", "3:2=4", "3:2=5", "3:9=4",
                                                            "3:9=5", "3:10=4", "3:10=5"}));
    for (int fid : {2, 9, 10})
        EXPECT_FALSE(fs::exists(segmentFile(fid, 1))) << fid;
    EXPECT_TRUE(segmentFilesKept(7));
    EXPECT_EQ(rows("SELECT DISTINCT segmFID FROM segm"), "7");
    EXPECT_EQ(rows("SELECT decoFID || ':' || decoCheck FROM deco ORDER BY decoFID"),
              "2:2,7:0,9:2,10:2");
}

TEST_F(DecoderTest, AFailedDecodeKeepsEverythingFetchedAndCanBeRetried) {
    struct Row {
        const char* what;
        const char* standIn; // null: no yydecode anywhere
        const char* reason;  // on the file's record and in the log
    } rows_[] = {
        {"missing program", nullptr, "yydecode could not be started"},
        {"not executable", "", "yydecode could not be started"},
        {"damaged data", "echo 'crc error'; exit 1", "yydecode exit 1: crc error"},
        {"killed", "kill -9 $$", "yydecode exit -1"},
    };
    TempFolder emptyPath;
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    int fid = 20;
    for (const Row& row : rows_) {
        SCOPED_TRACE(row.what);
        fs::remove("yydecode");
        if (row.standIn && *row.standIn) installStandIn(row.standIn);
        if (row.standIn && !*row.standIn) writeFile("yydecode", "#!/bin/sh\nexit 0\n");
        setenv("PATH", emptyPath.path.c_str(), 1);
        decoder->adddecode(fid, fetchedFile(fid), 0);
        testing::internal::CaptureStdout();
        decoder->start();
        bool failed = waitUntil([&] { return log.has("3:" + std::to_string(fid) + "=6"); });
        endDecoder();
        std::string printed = testing::internal::GetCapturedStdout();
        setenv("PATH", path.c_str(), 1);
        ASSERT_TRUE(failed);
        EXPECT_EQ(files[fid].fileState, fsDecodeFailed);
        EXPECT_STREQ(files[fid].fileError, row.reason);
        EXPECT_NE(printed.find("err decoding... " + std::to_string(fid) + " " + row.reason),
                  std::string::npos)
            << printed;
        EXPECT_TRUE(segmentFilesKept(fid));
        EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmFID=" + std::to_string(fid)), "2");
        EXPECT_EQ(rows("SELECT decoCheck FROM deco WHERE decoFID=" + std::to_string(fid)), "3");
        ++fid;
    }

    // The user's retry once the program works again decodes the kept segments.
    installStandIn("exit 0");
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("UPDATE deco SET decoCheck=0 WHERE decoFID=20"); // as the retry command does
    }
    files[20].fileState = fsWaitDecode;
    decoder->adddecode(20, &files[20], 1);
    decoder->start();
    ASSERT_TRUE(reaches(20, fsDecoded));
    endDecoder();
    EXPECT_FALSE(segmentFilesKept(20));
    EXPECT_EQ(rows("SELECT decoCheck FROM deco WHERE decoFID=20"), "2");
}

// A reload clears the list while a decode runs at idle priority: the clear must not
// wait for it, and the decode's result goes to the record listed for the file by then.
TEST_F(DecoderTest, ClearingDuringADecodeReturnsAtOnceAndTheResultFindsTheNewRecord) {
    // Blocks until the test lets it go (bounded: one minute at most).
    installStandIn("touch started; i=0; while [ ! -e release ] && [ $i -lt 600 ]; do "
                   "sleep 0.1; i=$((i+1)); done");
    decoder->adddecode(1, fetchedFile(1), 0);
    decoder->adddecode(2, fetchedFile(2), 0);
    decoder->start();
    ASSERT_TRUE(waitUntil([] { return fs::exists("started"); }));
    EXPECT_EQ(files[1].fileState, fsDecoding);

    std::atomic<bool> cleared{false};
    std::thread clearing([&] {
        decoder->clrdecode();
        cleared = true;
    });
    const bool returned = waitUntil([&] { return cleared.load(); });
    // The reload's new record for file 1, read while the decode still runs.
    tfile reloaded = files[1];
    reloaded.fileState = fsWaitDecode;
    decoder->adddecode(1, &reloaded, 0);
    writeFile("release", "");
    clearing.join();
    ASSERT_TRUE(returned) << "the clear waited for the decode";
    ASSERT_TRUE(waitUntil([&] { return reloaded.fileState == fsDecoded; }));
    EXPECT_EQ(files[1].fileState, fsDecoding) << "the cleared record is not touched";
    endDecoder();
    EXPECT_EQ(files[2].fileState, fsWaitDecode);
    EXPECT_TRUE(segmentFilesKept(2));
    EXPECT_EQ(lines("calls.txt").size(), 1u) << "decoded once";
    EXPECT_EQ(rows("SELECT decoFID || ':' || decoCheck FROM deco ORDER BY decoFID"), "1:2,2:0");
    EXPECT_EQ(log.starting("21:"), (std::vector<std::string>{"21:1", "21:0"}));
}

// Ids count from 1 again after a reset: a decode of the old database that ends after it
// must not book its result into the new file of the same id.
TEST_F(DecoderTest, ADecodeThatEndsAfterAResetBooksNothingIntoTheNewDatabase) {
    installStandIn("touch started; i=0; while [ ! -e release ] && [ $i -lt 600 ]; do "
                   "sleep 0.1; i=$((i+1)); done");
    decoder->adddecode(1, fetchedFile(1), 0);
    decoder->start();
    ASSERT_TRUE(waitUntil([] { return fs::exists("started"); }));
    decoder->clrdecode();
    db.resetDB(ARTICLES_SQL);
    tfile* imported = fetchedFile(1); // the next import's file 1, complete, waiting
    decoder->adddecode(1, imported, 0);
    fs::remove("calls.txt");
    fs::remove("yydecode"); // the running one keeps its script
    installStandIn("exit 1");
    writeFile("release", "");
    ASSERT_TRUE(reaches(1, fsDecodeFailed));
    endDecoder();
    EXPECT_EQ(lines("calls.txt").size(), 1u) << "the new file is decoded on its own";
    EXPECT_EQ(rows("SELECT COUNT(*) FROM segm WHERE segmFID=1"), "2");
    EXPECT_EQ(rows("SELECT decoCheck FROM deco"), "3");
}

TEST_F(DecoderTest, ATerminatedDecoderNeverStartsAgain) {
    ASSERT_EQ(decoder->start(), 1);
    decoder->terminate();
    EXPECT_EQ(decoder->denabled(), 0);
    decoder->clrdecode();
    EXPECT_EQ(decoder->start(), 0);
    EXPECT_EQ(decoder->denabled(), 0);
}

TEST_F(DecoderTest, StopCutsAnIdleWaitShort) {
    NNTPdecoder patient(&db, std::chrono::minutes(10));
    patient.attach(&log);
    ASSERT_EQ(patient.start(), 1);
    ASSERT_TRUE(waitUntil([&] { return patient.dstate() == 1; }));
    patient.stop();
    patient.wait();
    EXPECT_EQ(patient.dstate(), 0);
    EXPECT_EQ(log.starting("21:"), (std::vector<std::string>{"21:1", "21:0"}));
}

TEST_F(DecoderTest, AListedFileEndsAnIdleWaitAtOnce) {
    installStandIn("exit 0");
    NNTPdecoder patient(&db, std::chrono::minutes(10));
    patient.setfolders("./temp", "./download");
    ASSERT_EQ(patient.start(), 1);
    ASSERT_TRUE(waitUntil([&] { return patient.dstate() == 1; }));
    // Within the test's wait, far short of the decoder's own ten minutes.
    patient.adddecode(4, fetchedFile(4), 0);
    EXPECT_TRUE(reaches(4, fsDecoded));
    patient.stop();
    patient.wait();
}

TEST_F(DecoderTest, YydecodeWritesTheOriginalFileAndADamagedPartStillCountsAsDecoded) {
    fs::create_symlink(CORV_BIN_DIR "/yydecode", "yydecode");
    fs::create_directory("spool");
    writeRandomFile("original.bin", 50000, 3);
    writeRandomFile("damaged.bin", 30000, 4);
    PostOptions options;
    options.spool = "spool";
    options.partSize = 7000;
    std::vector<PostedFile> post = makePost({"original.bin", "damaged.bin"}, options);
    int fid = 30;
    for (const PostedFile& posted : post) {
        tfile& file = files[fid];
        file.filePID = 1;
        file.fileFID = fid;
        file.fileState = fsWaitDecode;
        std::vector<std::string> saved = saveAsSegmentFiles(posted, "spool", "temp", 1, fid);
        ASSERT_EQ(saved.size(), posted.segments.size());
        decoder->adddecode(fid++, &file, 0);
    }
    // One data byte of the second file changed on its way: its CRC no longer matches,
    // yet yydecode writes what it has and says so, which counts as decoded.
    std::string segment = readFile("temp/1.1f.2.segm");
    size_t body = segment.find("=ypart");
    body = segment.find("\r\n", body) + 10;
    segment[body] = segment[body] == 'a' ? 'b' : 'a';
    writeFile("temp/1.1f.2.segm", segment);

    decoder->start();
    ASSERT_TRUE(reaches(30, fsDecoded));
    ASSERT_TRUE(reaches(31, fsDecoded));
    endDecoder();
    EXPECT_EQ(readFile("download/original.bin"), readFile("original.bin"));
    EXPECT_EQ(readFile("download/damaged.bin").size(), readFile("damaged.bin").size());
    EXPECT_NE(readFile("download/damaged.bin"), readFile("damaged.bin"));
    EXPECT_TRUE(fs::is_empty("temp"));
}

TEST_F(DecoderTest, WildcardCharactersInTheTemporaryFolderNameAreTakenLiterally) {
    fs::create_symlink(CORV_BIN_DIR "/yydecode", "yydecode");
    fs::create_directory("spool");
    const std::string temp = "seg [1]*";
    fs::create_directory(temp);
    // Read as a wildcard, the folder name would match this one and pick up its file.
    fs::create_directory("seg 1x");
    writeFile("seg 1x/1.28.1.segm", "=ybegin line=128 size=1 name=decoy.bin\r\n\xa2\r\n"
                                    "=yend size=1\r\n.\r\n");
    writeRandomFile("original.bin", 20000, 5);
    PostOptions options;
    options.spool = "spool";
    options.partSize = 7000;
    PostedFile posted = makePost({"original.bin"}, options).at(0);
    tfile& file = files[40];
    file.filePID = 1;
    file.fileFID = 40;
    file.fileState = fsWaitDecode;
    ASSERT_EQ(saveAsSegmentFiles(posted, "spool", temp, 1, 40).size(), 3u);
    decoder->setfolders(temp.c_str(), "./download");
    decoder->adddecode(40, &file, 0);

    decoder->start();
    ASSERT_TRUE(reaches(40, fsDecoded));
    endDecoder();
    EXPECT_EQ(readFile("download/original.bin"), readFile("original.bin"));
    EXPECT_FALSE(fs::exists("download/decoy.bin"));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_TRUE(fs::exists("seg 1x/1.28.1.segm"));
}

} // namespace

// A file whose parts were written into their output file is finished in the process;
// yydecode runs only for a file that also has segment files.
TEST_F(DecoderTest, FilesWrittenDirectlyAreFinishedAndYydecodeRunsOnlyOnSegmentFiles) {
    installStandIn("exit 0");
    cDirectWriter writer;
    writer.setfolders("./temp", "./download");
    decoder->setDirectWriter(&writer);
    // "hello" encoded is "\x92\x8f\x96\x96\x99".
    auto hello = [](const std::string& name) {
        return "Subject: x\r\n\r\n=ybegin line=128 size=5 name=" + name +
               "\r\n\x92\x8f\x96\x96\x99\r\n=yend size=5 crc32=3610a686\r\n";
    };
    tsegm segment;
    segment.segmSID = 1;
    tfile* direct = fetchedFile(3, 0);
    ASSERT_EQ(writer.write(*direct, segment, hello("direct.txt")), cDirectWriter::dwWritten);
    tfile* mixed = fetchedFile(4);
    ASSERT_EQ(writer.write(*mixed, segment, hello("mixed.txt")), cDirectWriter::dwWritten);
    decoder->adddecode(3, direct, 0);
    decoder->adddecode(4, mixed, 0);
    ASSERT_EQ(decoder->start(), 1);
    ASSERT_TRUE(reaches(3, fsDecoded));
    ASSERT_TRUE(reaches(4, fsDecoded));
    endDecoder();

    EXPECT_EQ(readFile("download/direct.txt"), "hello");
    EXPECT_EQ(readFile("download/mixed.txt"), "hello");
    EXPECT_EQ(lines("calls.txt"),
              std::vector<std::string>{"-e -c -l -b -n file 4.bin -D ./download ./temp/1.4.*.segm"});
    EXPECT_FALSE(segmentFilesKept(4));
    EXPECT_EQ(rows("SELECT decoFID || ':' || decoCheck FROM deco ORDER BY decoFID"), "3:2,4:2");
}
