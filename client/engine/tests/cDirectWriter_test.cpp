// The direct writer on real articles made by the post maker: parts placed in any order,
// found again by a fresh writer after a restart, left to segment files when they cannot
// be placed, and finished into the download folder without replacing anything.
#include "RandomBytes.h"
#include "TestFolders.h"
#include "YencPostWriter.h"
#include "cDirectWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class DirectWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(work.path.empty());
        for (const char* name : {"in", "spool", "temp", "download"})
            fs::create_directory(work.file(name));
        writer.setfolders(work.file("temp"), work.file("download"));
        file.filePID = 3;
        file.fileFID = 12;
        snprintf(file.fileName, sizeof file.fileName, "data.bin");
        file.fileState = 2;
    }

    // Posts `data` as data.bin in parts of `partSize` bytes; the articles as received.
    std::vector<std::string> post(const std::string& data, size_t partSize) {
        original = data;
        writeFile(work.file("in/data.bin"), data);
        PostOptions options;
        options.spool = work.file("spool");
        options.partSize = partSize;
        std::vector<PostedFile> posted = makePost({work.file("in/data.bin")}, options);
        std::vector<std::string> articles;
        for (const PostedSegment& segment : posted[0].segments)
            articles.push_back(readFile(options.spool + "/" + segment.messageId));
        return articles;
    }

    cDirectWriter::eWrite write(cDirectWriter& with, const std::string& article, int sid) {
        tsegm segment;
        segment.segmSID = sid;
        segment.segmFID = file.fileFID;
        return with.write(file, segment, article);
    }

    std::vector<std::string> downloads() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work.file("download")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder work{"direct_writer_test"};
    cDirectWriter writer;
    tfile file;
    std::string original;
};

TEST_F(DirectWriterTest, PartsInAnyOrderFinishIntoTheFileByteForByte) {
    std::vector<std::string> articles = post(randomBytes(5 * 30000 + 123, 1), 30000);
    ASSERT_EQ(articles.size(), 6u);
    std::vector<int> order = {4, 0, 5, 2, 1, 3};
    for (int i : order)
        EXPECT_EQ(write(writer, articles[i], i + 1), cDirectWriter::dwWritten) << i;
    // The same part again (fetched once more): booked, nothing written twice.
    EXPECT_EQ(write(writer, articles[2], 3), cDirectWriter::dwWritten);
    EXPECT_EQ(downloads(), std::vector<std::string>{"data.bin.c.part"});
    EXPECT_TRUE(fs::exists(work.file("temp/3.c.parts")));

    EXPECT_EQ(writer.finish(file), 0);
    EXPECT_EQ(downloads(), std::vector<std::string>{"data.bin"});
    EXPECT_TRUE(readFile(work.file("download/data.bin")) == original);
    EXPECT_FALSE(fs::exists(work.file("temp/3.c.parts")));
    // Nothing is left to finish: the decoder would run yydecode on segment files.
    EXPECT_EQ(writer.finish(file), 1);
}

TEST_F(DirectWriterTest, AFreshWriterFindsThePartsWrittenBeforeARestart) {
    std::vector<std::string> articles = post(randomBytes(4 * 25000, 2), 25000);
    for (int i : {0, 2})
        ASSERT_EQ(write(writer, articles[i], i + 1), cDirectWriter::dwWritten);
    cDirectWriter restarted;
    restarted.setfolders(work.file("temp"), work.file("download"));
    for (int i : {2, 3, 1})
        EXPECT_EQ(write(restarted, articles[i], i + 1), cDirectWriter::dwWritten) << i;
    ASSERT_EQ(restarted.finish(file), 0);
    EXPECT_TRUE(readFile(work.file("download/data.bin")) == original);
}

TEST_F(DirectWriterTest, ArticlesThatCannotBePlacedAreLeftForSegmentFiles) {
    std::vector<std::string> articles = post(randomBytes(3 * 20000, 3), 20000);
    ASSERT_EQ(write(writer, articles[0], 1), cDirectWriter::dwWritten);
    // UU, another file's name, a part overlapping one written: nothing of them is written.
    EXPECT_EQ(write(writer, "Subject: x\r\n\r\nbegin 644 data.bin\r\n#0V%T\r\n`\r\nend\r\n", 7),
              cDirectWriter::dwNotHere);
    std::string renamed = articles[1];
    renamed.replace(renamed.find("name=data.bin"), 13, "name=other.bin");
    EXPECT_EQ(write(writer, renamed, 8), cDirectWriter::dwNotHere);
    std::string shifted = articles[1];
    shifted.replace(shifted.find("begin=20001"), 11, "begin=19001");
    EXPECT_EQ(write(writer, shifted, 9), cDirectWriter::dwNotHere);
    EXPECT_EQ(fs::file_size(work.file("download/data.bin.c.part")), 20000u);

    for (int i : {1, 2})
        ASSERT_EQ(write(writer, articles[i], i + 1), cDirectWriter::dwWritten);
    ASSERT_EQ(writer.finish(file), 0);
    EXPECT_TRUE(readFile(work.file("download/data.bin")) == original);
}

TEST_F(DirectWriterTest, TheFinishKeepsAFileOfTheSameNameAndEndsWhereThePartsEnd) {
    writeFile(work.file("download/hello"), "an earlier file");
    // "hello" encoded, in an article whose header claims a whole TiB.
    const std::string hostile = "Subject: x\r\n\r\n=ybegin line=128 size=1099511627776 "
                                "name=hello\r\n\x92\x8f\x96\x96\x99\r\n=yend size=5\r\n";
    ASSERT_EQ(write(writer, hostile, 1), cDirectWriter::dwWritten);
    EXPECT_EQ(fs::file_size(work.file("download/data.bin.c.part")), 5u);
    ASSERT_EQ(writer.finish(file), 0);
    EXPECT_EQ(readFile(work.file("download/hello")), "an earlier file");
    EXPECT_EQ(readFile(work.file("download/hello.1")), "hello");
}

TEST_F(DirectWriterTest, AFolderThatCannotTakeThePartFailsTheWrite) {
    std::vector<std::string> articles = post(randomBytes(20000, 4), 20000);
    writer.setfolders(work.file("temp"), work.file("no such folder"));
    EXPECT_EQ(write(writer, articles[0], 1), cDirectWriter::dwWriteFailed);
    // Once the folder is there, the same article goes in as if nothing had happened.
    writer.setfolders(work.file("temp"), work.file("download"));
    EXPECT_EQ(write(writer, articles[0], 1), cDirectWriter::dwWritten);
    ASSERT_EQ(writer.finish(file), 0);
    EXPECT_TRUE(readFile(work.file("download/data.bin")) == original);
}

} // namespace
