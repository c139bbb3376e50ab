// Scripts of the converter run through the article database's script runner, on a real
// database built from the schema.
#include "ArticleDatabaseTest.h"
#include "NzbText.h"
#include "quillmap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Rows = SqlRows;

class QuillmapLoad : public ArticleDatabaseTest {
  protected:
    // Imports `nzbText` the way the model does: bases are the current maxima.
    void import(const std::string& nzbText, const std::string& name = "post.nzb") {
        std::string nzb = folder.file(name);
        std::string script = folder.file("import.sql");
        writeFile(nzb, nzbText);
        quillmap(nzb.c_str(), script.c_str(), postBase(), fileBase());
        db.load(script.c_str());
    }
};

std::string file(const std::string& name, int segments) {
    std::vector<std::string> lines;
    for (int i = 1; i <= segments; ++i)
        lines.push_back("bytes=\"100\" number=\"" + std::to_string(i) + "\">" + name + "." +
                        std::to_string(i) + "@news.example");
    return nzbFile("poster=\"poster@example\" date=\"1700000000\" subject=\"&quot;" + name +
                       "&quot; yEnc (1/" + std::to_string(segments) + ")\"",
                   {"alt.binaries.test"}, lines);
}

TEST_F(QuillmapLoad, ImportsNumberOnFromTheStoredMaxima) {
    import(nzbDocument({file("a.part1.rar", 2), file("a.part2.rar", 1), file("a.nfo", 1)}));
    EXPECT_EQ(query("SELECT postPID, postDesc, postTarget FROM post"),
              (Rows{{"1", "post.nzb", ""}}));
    EXPECT_EQ(query("SELECT fileFID, filePID, fileName, fileSize, segcount, segavail, fileGroup "
                    "FROM file ORDER BY fileFID"),
              (Rows{{"1", "1", "a.part1.rar", "200", "2", "2", "alt.binaries.test "},
                    {"2", "1", "a.part2.rar", "100", "1", "1", "alt.binaries.test "},
                    {"3", "1", "a.nfo", "100", "1", "1", "alt.binaries.test "}}));

    import(nzbDocument({file("b.par2", 1), file("b.vol00+01.par2", 1), file("b.r01", 1),
                        file("b-sample.avi", 1), file("b.txt", 1)}),
           "second.nzb");
    EXPECT_EQ(query("SELECT postPID, postDesc FROM post ORDER BY postPID"),
              (Rows{{"1", "post.nzb"}, {"2", "second.nzb"}}));
    EXPECT_EQ(query("SELECT fileFID, filePID, fileType, parblocks FROM file WHERE filePID=2 "
                    "ORDER BY fileFID"),
              (Rows{{"4", "2", "2", "0"},
                    {"5", "2", "2", "1"},
                    {"6", "2", "1", "0"},
                    {"7", "2", "7", "0"},
                    {"8", "2", "0", "0"}}));
    // Automatic queueing: ordinary files, RAR volumes and the PAR2 index, never recovery
    // volumes, NFO or AVI files.
    EXPECT_EQ(query("SELECT queuFID, queuPrio FROM queu ORDER BY queuFID"),
              (Rows{{"1", "7"}, {"2", "7"}, {"4", "7"}, {"6", "7"}, {"8", "7"}}));
    EXPECT_EQ(query("SELECT COUNT(*), MIN(segmFID), MAX(segmFID), SUM(segmState) FROM segm"),
              (Rows{{"9", "1", "8", "0"}}));
}

TEST_F(QuillmapLoad, AFileWithoutSegmentsKeepsSizeZero) {
    import(nzbDocument({file("empty.rar", 0), file("full.rar", 1)}));
    EXPECT_EQ(query("SELECT fileFID, fileSize, segavail FROM file"),
              (Rows{{"1", "0", "0"}, {"2", "100", "1"}}));
}

TEST_F(QuillmapLoad, HostileValuesAreStoredAsTheyStandAndHarmNothing) {
    import(nzbDocument({file("first.rar", 1)}));
    const std::string msgid = "x'); DELETE FROM post; DROP TABLE segm; --@evil";
    const std::string group = "alt.bin'); DELETE FROM file; --";
    std::string hostile =
        nzbFile("poster=\"a'); DROP TABLE queu; --\" date=\"1700000000\" "
                "subject=\"it's &#10;DELETE FROM post&#10; &#39;); DROP TABLE file; --\"",
                {group}, {"bytes=\"10\" number=\"1\">" + msgid});
    std::string badDate = nzbFile("poster=\"p\" date=\"1); DELETE FROM segm; --\" subject=\"d\"",
                                  {"g"}, {"bytes=\"10\" number=\"1\">bad.date@x"});
    import(nzbDocument({hostile, badDate}), "it's); DROP TABLE post; --.nzb");

    EXPECT_EQ(query("SELECT postPID, postDesc FROM post ORDER BY postPID"),
              (Rows{{"1", "post.nzb"}, {"2", "it's); DROP TABLE post; --.nzb"}}));
    EXPECT_EQ(query("SELECT fileFID, fileSubject, filePoster, fileGroup FROM file WHERE "
                    "filePID=2"),
              (Rows{{"2", "it`s ?delete from post? `); drop table file; --",
                     "a`); DROP TABLE queu; --", group + " "}}));
    EXPECT_EQ(query("SELECT segmFID, segmMsgid FROM segm ORDER BY segmSID"),
              (Rows{{"1", "first.rar.1@news.example"}, {"2", msgid}}));
    EXPECT_EQ(query("SELECT queuFID FROM queu ORDER BY queuFID"), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(query("SELECT COUNT(*) FROM deco"), (Rows{{"0"}}));
    EXPECT_EQ(query("SELECT COUNT(*) FROM segf"), (Rows{{"0"}}));
    EXPECT_EQ(query("SELECT version FROM vers"), (Rows{{"100"}}));
}

TEST_F(QuillmapLoad, OverlongValuesLoadWithoutErrors) {
    std::vector<std::string> groups;
    for (int i = 0; i < 60; ++i)
        groups.push_back("alt.binaries.o'long.group." + std::to_string(i));
    std::string subject =
        "&quot;" + std::string(300, 'n') + ".rar&quot; " + std::string(1500, '\'') + " yEnc (1/1)";
    std::string text = nzbDocument(
        {nzbFile("poster=\"" + std::string(900, '\'') + "\" date=\"1\" subject=\"" + subject + "\"",
                 groups, {"bytes=\"7\" number=\"1\">" + std::string(200, '\'') + "@x"})});
    testing::internal::CaptureStdout();
    import(text);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("SQLerr"), std::string::npos) << log;
    Rows rows = query("SELECT fileFID, length(fileName), fileType, fileSize, segavail, "
                      "length(fileGroup) > 700 FROM file");
    EXPECT_EQ(rows, (Rows{{"1", "127", "1", "7", "1", "1"}}));
    EXPECT_EQ(query("SELECT segmMsgid FROM segm"), (Rows{{std::string(200, '\'') + "@x"}}));
}

// Garbage sprinkled over a good NZB: whatever the converter makes of it must load
// without one SQL error and leave the posts before it untouched.
TEST_F(QuillmapLoad, MangledNzbsNeverBreakTheScript) {
    const std::string good = nzbDocument({file("m.part1.rar", 3), file("m.vol00+02.par2", 2)});
    const char dangerous[] = {'\'', '"', '<', '>', '&', ';', '#', ' ', '\n', '\r', '\0', 'x', '9'};
    std::mt19937 random(20261207);
    int posts = 0;
    for (int round = 1; round <= 150; ++round) {
        std::string text = good;
        for (int change = 0; change < 12; ++change) {
            std::size_t at = random() % text.size();
            char c = dangerous[random() % sizeof dangerous];
            if (random() % 2)
                text[at] = c;
            else
                text.insert(at, 1, c);
        }
        testing::internal::CaptureStdout();
        import(text);
        std::string log = testing::internal::GetCapturedStdout();
        ASSERT_EQ(log.find("SQLerr"), std::string::npos) << "round " << round << "\n" << log;
        // An NZB mangled beyond any file adds no post, and says so.
        posts += log.find("nzb: no files in") == std::string::npos;
        ASSERT_EQ(query("SELECT COUNT(*), MIN(postPID), MAX(postPID) FROM post"),
                  (Rows{{std::to_string(posts), "1", std::to_string(posts)}}));
    }
    EXPECT_GT(posts, 100);
    // Every segment belongs to a stored file, every file to a stored post.
    EXPECT_EQ(query("SELECT COUNT(*) FROM segm WHERE segmFID NOT IN (SELECT fileFID FROM file)"),
              (Rows{{"0"}}));
    EXPECT_EQ(query("SELECT COUNT(*) FROM file WHERE filePID NOT IN (SELECT postPID FROM post)"),
              (Rows{{"0"}}));
    EXPECT_GT(std::stoi(query("SELECT COUNT(*) FROM segm").at(0).at(0)), 300);
}

} // namespace
