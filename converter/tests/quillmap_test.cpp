// The converter as callers use it: quillmap on real NZB files in a temporary folder,
// and the library's exports.
#include "NzbText.h"
#include "TestFolders.h"
#include "quillmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const std::string kFileRow =
    "INSERT INTO file(fileFID, filePID, fileSubject, fileName, filePoster, fileDate, fileType, "
    "segcount, parblocks) VALUES(";
const std::string kSegmRow =
    "INSERT INTO segm(segmFID, segmNum, segmBytes, segmMsgid)               VALUES(";

class Quillmap : public ::testing::Test {
  protected:
    // Converts `nzbText` (stored as `name`) and returns the script's lines.
    std::vector<std::string> convert(const std::string& nzbText, int postBase = 0, int fileBase = 0,
                                     const std::string& name = "post.nzb") {
        writeFile(folder.file(name), nzbText);
        quillmap(folder.file(name).c_str(), script().c_str(), postBase, fileBase);
        return splitLines(readFile(script()));
    }
    std::string script() const { return folder.file("post.sql"); }

    static std::size_t countStarting(const std::vector<std::string>& lines,
                                     const std::string& start) {
        std::size_t count = 0;
        for (const std::string& line : lines)
            count += line.rfind(start, 0) == 0;
        return count;
    }

    TempFolder folder;
};

// The statements follow the NZB: groups come before the segments in a file element.
TEST_F(Quillmap, StatementOrderOfASmallNzb) {
    std::string file =
        nzbFile("poster=\"Joe &lt;joe@x.org&gt;\" date=\"1234567890\" "
                "subject=\"[1/1] - &quot;Holiday.part01.rar&quot; yEnc (1/3)\"",
                {"alt.binaries.test", "alt.bin.x"},
                {"bytes=\"100\" number=\"1\">a1@b", "bytes=\"200\" number=\"2\">a2@b",
                 "bytes=\"300\" number=\"3\">a3@b"});
    const std::vector<std::string> expected = {
        "BEGIN",
        "INSERT INTO post(postPID, postDesc, postTarget)                                 "
        "VALUES(1, 'post.nzb', '')",
        kFileRow + "1, 1, '[1/1] - \"Holiday.part01.rar\" yEnc (1/3)', 'Holiday.part01.rar', "
                   "'Joe <joe@x.org>', 1234567890, 1, 3, 0)",
        "UPDATE file SET fileGroup='alt.binaries.test alt.bin.x ' WHERE fileFID=1",
        kSegmRow + "1, 1, 100, 'a1@b')",
        kSegmRow + "1, 2, 200, 'a2@b')",
        kSegmRow + "1, 3, 300, 'a3@b')",
        "UPDATE file SET fileSize=(SELECT SUM(segmBytes) FROM segm WHERE segmFID==1 ) WHERE "
        "fileFID==1",
        "UPDATE file SET segavail=3 WHERE fileFID=1",
        "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE filePID=1 AND  (fileType<3 "
        "AND parblocks=0)",
        "COMMIT"};
    EXPECT_EQ(convert(nzbDocument({file})), expected);
}

TEST_F(Quillmap, IdsStartAfterTheBases) {
    std::string file =
        nzbFile("poster=\"p\" date=\"1\" subject=\"s\"", {"g"}, {"bytes=\"1\" number=\"1\">m@x"});
    auto lines = convert(nzbDocument({file, file}), 41, 500);
    EXPECT_EQ(countStarting(lines, kFileRow + "501, 42, "), 1u);
    EXPECT_EQ(countStarting(lines, kFileRow + "502, 42, "), 1u);
    EXPECT_EQ(countStarting(lines, kSegmRow + "502, 1, 1, 'm@x')"), 1u);
    EXPECT_EQ(lines.at(lines.size() - 2),
              "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE filePID=42 AND  "
              "(fileType<3 AND parblocks=0)");
}

// A file element that is not written takes its groups and segments with it: they must
// not land on the file before it.
TEST_F(Quillmap, FileElementLackingAnAttributeIsSkippedWithItsRows) {
    const std::vector<std::string> lacking = {
        "poster=\"p\" subject=\"no date\"",
        "date=\"1\" subject=\"no poster\"",
        "poster=\"p\" date=\"1\"",
        "poster=\"p\" date=\"1); DELETE FROM post; --\" subject=\"bad date\"",
        "poster=\"p\" date=\"\" subject=\"empty date\"",
    };
    for (const std::string& attributes : lacking) {
        std::string good = nzbFile("poster=\"p\" date=\"1\" subject=\"good\"", {"g"},
                                   {"bytes=\"1\" number=\"1\">good@x"});
        std::string bad = nzbFile(attributes, {"bad.group"}, {"bytes=\"9\" number=\"1\">bad@x"});
        auto lines = convert(nzbDocument({good, bad, good}));
        EXPECT_EQ(countStarting(lines, kFileRow), 2u) << attributes;
        EXPECT_EQ(countStarting(lines, kFileRow + "2, "), 1u) << attributes;
        EXPECT_EQ(countStarting(lines, kSegmRow), 2u) << attributes;
        EXPECT_EQ(countStarting(lines, "UPDATE file SET fileGroup="), 2u) << attributes;
        EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail=1 WHERE"), 2u) << attributes;
        for (const std::string& line : lines)
            EXPECT_EQ(line.find("bad"), std::string::npos) << line;
    }
}

// Posters leave out numbers and sizes: such segments are kept, numbered by their place
// in the file, with 0 bytes. Only what cannot be fetched is skipped, and not counted.
TEST_F(Quillmap, SegmentsAreKeptLenientlyAndCountedExactly) {
    std::string file = nzbFile(
        "poster=\"p\" date=\"1\" subject=\"s\"", {"g"},
        {"bytes=\"1, 2); DELETE FROM post; --\" number=\"1\">x@x", "bytes=\"1\" number=\"-1\">y@x",
         "bytes=\"1\">z@x", "bytes=\"12\" number=\"4\">ok@x", "bytes=\"1\" number=\"5\" unclosed",
         "bytes=\"5\" number=\"6\">", "bytes=\"5\" number=\"7\">  \r\n",
         "bytes=\"9\" number=\"8\">ok@x", "number=\"9\">\n  spaced@x\n"});
    testing::internal::CaptureStdout();
    auto lines = convert(nzbDocument({file}));
    std::string log = testing::internal::GetCapturedStdout();
    const std::vector<std::string> expected = {
        kSegmRow + "1, 1, 0, 'x@x')", kSegmRow + "1, 2, 1, 'y@x')", kSegmRow + "1, 3, 1, 'z@x')",
        kSegmRow + "1, 4, 12, 'ok@x')", kSegmRow + "1, 9, 0, 'spaced@x')"};
    std::vector<std::string> segments;
    for (const std::string& line : lines)
        if (line.rfind(kSegmRow, 0) == 0) segments.push_back(line);
    EXPECT_EQ(segments, expected);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail=5 WHERE fileFID=1"), 1u);
    for (const char* said :
         {"element not closed", "empty message id", "message id repeated: ok@x",
          "2 segments without a valid size", "2 segments without a valid number"})
        EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
}

TEST_F(Quillmap, OverlongValuesNeverMakeABrokenStatement) {
    std::vector<std::string> manyGroups;
    for (int i = 0; i < 40; ++i)
        manyGroups.push_back("alt.binaries.a.rather.long.group.name." + std::to_string(i));
    std::string longSubject =
        "&quot;" + std::string(200, 'n') + ".rar&quot; " + std::string(3500, 's');
    std::string longPoster(600, 'p');
    const std::string files[] = {
        nzbFile("poster=\"p\" date=\"1\" subject=\"" + longSubject + "\"", {"g"},
                {"bytes=\"1\" number=\"1\">a@x"}),
        nzbFile("poster=\"" + longPoster + "\" date=\"2\" subject=\"" + std::string(400, '\'') +
                    "\"",
                {"g"}, {"bytes=\"1\" number=\"1\">b@x"}),
        nzbFile("poster=\"p\" date=\"3\" subject=\"groups\"", manyGroups,
                {"bytes=\"1\" number=\"1\">c@x"}),
        nzbFile("poster=\"p\" date=\"4\" subject=\"ids\"", {"g"},
                {"bytes=\"1\" number=\"1\">" + std::string(1000, '\'') + "@x",
                 "bytes=\"1\" number=\"2\">d@x"}),
        // A line longer than the line buffer: its element is skipped whole, and its
        // segments with it.
        nzbFile("poster=\"p\" date=\"5\" subject=\"" + std::string(5000, 'l') + "\"", {"g"},
                {"bytes=\"1\" number=\"1\">e@x"}),
        nzbFile("poster=\"p\" date=\"6\" subject=\"after\"", {"g"},
                {"bytes=\"1\" number=\"1\">" + std::string(5000, 'f') + "@x",
                 "bytes=\"1\" number=\"2\">f@x"}),
    };
    auto lines = convert(nzbDocument(std::vector<std::string>(std::begin(files), std::end(files))));
    for (const std::string& line : lines) {
        EXPECT_LT(line.size(), 1024u);
        EXPECT_TRUE(line == "BEGIN" || line == "COMMIT" || line.back() == ')' ||
                    line.find("WHERE fileFID") != std::string::npos)
            << line;
    }
    EXPECT_EQ(countStarting(lines, kFileRow), 5u);
    EXPECT_EQ(countStarting(lines, kFileRow + "1, 1, '\"" + std::string(200, 'n') + ".rar\" sss"),
              1u);
    EXPECT_EQ(countStarting(lines, kFileRow + "2, 1, '```"), 1u);
    EXPECT_EQ(countStarting(lines, kFileRow + "5, 1, 'after'"), 1u);
    EXPECT_EQ(countStarting(lines, kSegmRow), 5u);
    EXPECT_EQ(countStarting(lines, kSegmRow + "4, 2, 1, 'd@x')"), 1u);
    EXPECT_EQ(countStarting(lines, kSegmRow + "5, 2, 1, 'f@x')"), 1u);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail=1 WHERE fileFID=4"), 1u);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET fileGroup='alt.binaries.a.rather.long.group."
                                   "name.0 "),
              1u);
}

TEST_F(Quillmap, LineEndsNulBytesAndAMissingLastLineFeed) {
    std::string segments = "<segment bytes=\"1\" number=\"1\">a@x</segment>\n"
                           "<segment bytes=\"1\" number=\"2\">b@x";
    segments += '\0';
    segments += "evil</segment>\n"
                "<segment bytes=\"1\" number=\"3\">c@x</segment>\n";
    std::string text = "<nzb>\n\n<file poster=\"p\" date=\"1\" subject=\"s\">\r\n"
                       "  <groups><group>g</group></groups>\n"
                       "\t<segments>\n" +
                       segments + "</segments>"; // no line feed at the end
    auto lines = convert(text);
    EXPECT_EQ(countStarting(lines, kSegmRow), 2u);
    EXPECT_EQ(countStarting(lines, kSegmRow + "1, 3, 1, 'c@x')"), 1u);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail=2 WHERE fileFID=1"), 1u);
    EXPECT_EQ(lines.back(), "COMMIT");
}

// A file without its closing segments line, and an NZB cut off in the middle of a file,
// still get the size and segments-present updates of their files.
TEST_F(Quillmap, FilesWithoutClosingLinesAreStillCounted) {
    std::string text = "<nzb>\n"
                       "<file poster=\"p\" date=\"1\" subject=\"a\">\n<segments>\n"
                       "<segment bytes=\"5\" number=\"1\">a@x</segment>\n"
                       "<file poster=\"p\" date=\"1\" subject=\"b\">\n<segments>\n"
                       "<segment bytes=\"5\" number=\"1\">b1@x</segment>\n"
                       "<segment bytes=\"5\" number=\"2\">b2@x</segment>\n";
    auto lines = convert(text);
    const std::vector<std::string> tail = {
        "UPDATE file SET fileSize=(SELECT SUM(segmBytes) FROM segm WHERE segmFID==2 ) WHERE "
        "fileFID==2",
        "UPDATE file SET segavail=2 WHERE fileFID=2",
        "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE filePID=1 AND  (fileType<3 "
        "AND parblocks=0)",
        "COMMIT"};
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - tail.size(), lines.end()), tail);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail=1 WHERE fileFID=1"), 1u);
    EXPECT_EQ(countStarting(lines, "UPDATE file SET segavail="), 2u);
}

TEST_F(Quillmap, UnreadableNzbLeavesNoScript) {
    writeFile(script(), "BEGIN\nstale script of an earlier import\n");
    testing::internal::CaptureStdout();
    quillmap(folder.file("missing.nzb").c_str(), script().c_str(), 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "fopen failure: " + folder.file("missing.nzb") + "\n");
    EXPECT_FALSE(std::filesystem::exists(script()));

    // A folder opens but cannot be read: no NZB either, not an empty post.
    std::string folderNzb = folder.file("folder.nzb");
    std::filesystem::create_directory(folderNzb);
    writeFile(script(), "BEGIN\nstale script of an earlier import\n");
    testing::internal::CaptureStdout();
    quillmap(folderNzb.c_str(), script().c_str(), 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read failure: " + folderNzb + "\n");
    EXPECT_FALSE(std::filesystem::exists(script()));
}

TEST_F(Quillmap, UnwritableScriptIsReported) {
    writeFile(folder.file("a.nzb"), nzbDocument({}));
    std::string script = folder.file("no/such/folder/a.sql");
    testing::internal::CaptureStdout();
    quillmap(folder.file("a.nzb").c_str(), script.c_str(), 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "fopen failure: " + script + "\n");
}

// The library shows callers its two functions, under their plain C names.
TEST(QuillmapLibrary, ExportsOnlyQuillmapUnmangled) {
    std::string command = "nm -D --defined-only " CORV_BIN_DIR "/libquillmap.so";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> functions;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char name[512];
        char type = 0;
        if (std::sscanf(line, "%*s %c %511s", &type, name) == 2 && (type == 'T' || type == 'W'))
            functions.push_back(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(functions, (std::vector<std::string>{"quillmap", "quillmapChecked"}));
}

} // namespace
