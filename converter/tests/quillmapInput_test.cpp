// NZBs as indexers serve them and posters write them: every layout, compressed or not,
// in Latin-1 or UTF-8, imports to the same rows; what yields nothing stores nothing.
#include "ArticleDatabaseTest.h"
#include "NzbText.h"
#include "cNzbParser.h"
#include "quillmap.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

using Rows = SqlRows;
const std::string kFixtures = CORV_SOURCE_DIR "/tests/fixtures/nzb/";

std::string gzipped(const std::string& text, const std::string& path) {
    gzFile out = gzopen(path.c_str(), "wb1");
    gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
    gzclose(out);
    return readFile(path);
}

// One article database; every import runs as the download client runs it.
class ImportTest : public ArticleDatabaseTest {
  protected:
    // Imports `content` stored under `name`; returns the converter's failure text.
    std::string import(const std::string& content, const std::string& name = "post.nzb") {
        writeFile(folder.file(name), content);
        return importFile(folder.file(name));
    }

    std::string importFile(const std::string& nzb) {
        std::string script = folder.file("import.sql");
        char why[1024] = {};
        testing::internal::CaptureStdout();
        int result =
            quillmapChecked(nzb.c_str(), script.c_str(), postBase(), fileBase(), why, sizeof why);
        log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result == 0, std::filesystem::exists(script)) << why;
        if (result == 0) db.load(script.c_str());
        std::filesystem::remove(script);
        return why;
    }

    // Every stored row of the last post, ids relative to it.
    Rows lastPost() {
        return query("SELECT 'post', postDesc, '', '' FROM post WHERE postPID=(SELECT "
                     "MAX(postPID) FROM post) UNION ALL "
                     "SELECT 'file', fileSubject || '|' || fileName || '|' || filePoster || '|' || "
                     "fileDate, fileGroup, fileType || '/' || segcount || '/' || parblocks || '/' "
                     "|| fileSize || '/' || segavail FROM file WHERE filePID=(SELECT MAX(postPID) "
                     "FROM post) UNION ALL "
                     "SELECT 'segm', segmNum, segmBytes, segmMsgid FROM segm JOIN file ON "
                     "segmFID=fileFID WHERE filePID=(SELECT MAX(postPID) FROM post)");
    }

    std::string log;
};

TEST_F(ImportTest, EveryLayoutOfOnePostImportsToTheSameRows) {
    const std::string pretty = readFile(kFixtures + "holiday.nzb");
    ASSERT_FALSE(pretty.empty());
    ASSERT_EQ(import(pretty), "");
    const Rows expected = lastPost();
    ASSERT_EQ(expected.size(), 1u + 3u + 6u);
    EXPECT_EQ(
        expected[1],
        (Rows::value_type{"file",
                          "[1/3] - \"holiday.part01.rar\" yEnc (1/3)|holiday.part01.rar|"
                          "Uploader <up@example.org>|1765000000",
                          "alt.binaries.pictures.holiday alt.binaries.misc ", "1/3/0/914523/3"}));

    const std::string crlf = std::regex_replace(pretty, std::regex("\n"), "\r\n");
    const std::string minified = readFile(kFixtures + "holiday-minified.nzb");
    const std::string layouts[][2] = {
        {"minified", minified},
        {"CRLF", crlf},
        {"CR only", std::regex_replace(pretty, std::regex("\n"), "\r")},
        {"byte-order mark", "\xEF\xBB\xBF" + crlf},
        {"attributes on lines of their own",
         std::regex_replace(pretty, std::regex("\" "), "\"\n        ")},
        {"gzip", gzipped(pretty, folder.file("packed"))},
        {"gzip of the minified", gzipped(minified, folder.file("packed"))},
    };
    for (const auto& layout : layouts) {
        EXPECT_EQ(import(layout[1]), "") << layout[0];
        EXPECT_EQ(lastPost(), expected) << layout[0] << "\n" << log;
    }
    // A gzip file is known by its content, whatever its name.
    writeFile(folder.file("post.nzb"), gzipped(pretty, folder.file("post.nzb.gz")));
    EXPECT_EQ(importFile(folder.file("post.nzb.gz")), "");
    EXPECT_EQ(lastPost().size(), expected.size());
    EXPECT_EQ(query("SELECT COUNT(*) FROM post"), (Rows{{"9"}}));
}

TEST_F(ImportTest, LatinOneAndUtf8TextsGiveTheSameUtf8Rows) {
    const Rows expected = {
        {"post", "post.nzb", "", ""},
        {"file",
         "caf\u00e9 \u2019n\u2019 cr\u00e8me \u20ac5 \u65e5\u672c (1/1)||Ren\u00e9|1765000100",
         "alt.binaries.test ", "0/1/0/10/1"},
        {"segm", "1", "10", "caf\u00e9@x"}};
    for (const char* fixture : {"entities-latin1.nzb", "latin1.nzb", "utf8.nzb"}) {
        EXPECT_EQ(import(readFile(kFixtures + fixture)), "") << fixture;
        EXPECT_EQ(lastPost(), expected) << fixture;
    }
    // Declared Latin-1 or not, bytes that are not UTF-8 are read as Latin-1 and a
    // windows-1252 declaration gives its own characters.
    std::string cp1252 = readFile(kFixtures + "latin1.nzb");
    cp1252.replace(cp1252.find("iso-8859-1"), 10, "windows-1252");
    cp1252.replace(cp1252.find("\xe9"), 1, "\x80");
    ASSERT_EQ(import(cp1252), "");
    EXPECT_NE(lastPost().at(1).at(1).find("|Ren\u20ac|"), std::string::npos);
}

TEST_F(ImportTest, RepeatedMessageIdsAreStoredOncePerFile) {
    const std::string segments[] = {"bytes=\"5\" number=\"1\">a@x", "bytes=\"5\" number=\"2\">b@x",
                                    "bytes=\"5\" number=\"3\">a@x"};
    std::string file = nzbFile("poster=\"p\" date=\"1\" subject=\"s (1/2)\"", {"g"},
                               std::vector<std::string>(std::begin(segments), std::end(segments)));
    ASSERT_EQ(import(nzbDocument({file, file})), "");
    EXPECT_EQ(query("SELECT segmFID, segmNum, segmMsgid FROM segm ORDER BY segmSID"),
              (Rows{{"1", "1", "a@x"}, {"1", "2", "b@x"}, {"2", "1", "a@x"}, {"2", "2", "b@x"}}));
    EXPECT_EQ(query("SELECT fileSize, segavail FROM file"), (Rows{{"10", "2"}, {"10", "2"}}));
}

// An NZB that yields no file with a segment is an error, not an empty post, and what
// is stored already stays as it was.
TEST_F(ImportTest, NothingToImportStoresNothingAndSaysWhy) {
    ASSERT_EQ(import(readFile(kFixtures + "holiday.nzb")), "");
    const Rows before = query("SELECT * FROM post UNION ALL SELECT fileFID, fileName, fileSize, "
                              "segavail, 0 FROM file");
    const std::string noFiles = "nzb: no files in " + folder.file("post.nzb");
    const std::pair<std::string, std::string> cases[] = {
        {readFile(kFixtures + "not-an-nzb.nzb"), noFiles},
        {"", noFiles},
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", noFiles},
        {nzbDocument({}), noFiles},
        {nzbDocument({nzbFile("poster=\"p\" date=\"1\" subject=\"s\"", {"g"}, {})}), noFiles},
        {nzbDocument({nzbFile("poster=\"p\" subject=\"no date\"", {"g"},
                              {"bytes=\"1\" number=\"1\">a@x"})}),
         noFiles},
        {gzipped("plain text", folder.file("packed")), noFiles},
        {gzipped(readFile(kFixtures + "holiday.nzb"), folder.file("packed")).substr(0, 200),
         "read failure: " + folder.file("post.nzb")},
    };
    for (const auto& [content, why] : cases) {
        writeFile(folder.file("import.sql"), "BEGIN\nstale script\n");
        EXPECT_EQ(import(content), why) << content.substr(0, 40);
        EXPECT_NE(log.find(why + "\n"), std::string::npos) << log;
    }
    EXPECT_EQ(query("SELECT * FROM post UNION ALL SELECT fileFID, fileName, fileSize, segavail, 0 "
                    "FROM file"),
              before);
}

TEST_F(ImportTest, AGzipBombIsRefusedWithNothingStored) {
    const std::string path = folder.file("bomb.nzb.gz");
    gzFile out = gzopen(path.c_str(), "wb9");
    const std::string head = nzbDocument({nzbFile("poster=\"p\" date=\"1\" subject=\"s\"", {"g"},
                                                  {"bytes=\"1\" number=\"1\">a@x"})});
    gzwrite(out, head.data(), static_cast<unsigned>(head.size()));
    const std::string blanks(1 << 20, ' ');
    for (int mib = 0; mib < 257; ++mib)
        gzwrite(out, blanks.data(), static_cast<unsigned>(blanks.size()));
    gzclose(out);
    ASSERT_LT(std::filesystem::file_size(path), 2u << 20);

    EXPECT_EQ(importFile(path), "nzb: no files in " + path + ": it unpacks to more than 256 MiB");
    EXPECT_EQ(query("SELECT COUNT(*) FROM post UNION ALL SELECT COUNT(*) FROM segm"),
              (Rows{{"0"}, {"0"}}));
}

// The caps hold however the NZB is built: the whole import is refused, not cut.
TEST_F(ImportTest, AnNzbOverTheCapsIsRefusedWhole) {
    std::vector<std::string> segments;
    for (int i = 1; i <= 4; ++i)
        segments.push_back("bytes=\"1\" number=\"" + std::to_string(i) + "\">" + std::to_string(i) +
                           "@x");
    const std::string file = nzbFile("poster=\"p\" date=\"1\" subject=\"s\"", {"g"}, segments);
    writeFile(folder.file("big.nzb"), nzbDocument({file, file, file}));
    const std::string script = folder.file("big.sql");
    struct {
        long files;
        long segments;
        const char* why;
    } rows[] = {{3, 12, nullptr}, {2, 12, "more than 2 files"}, {3, 11, "more than 11 segments"}};
    for (const auto& row : rows) {
        cNzbParser parser;
        parser.limits = {row.files, row.segments};
        testing::internal::CaptureStdout();
        parser.parseNZB(folder.file("big.nzb").c_str(), script.c_str(), 0, 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::filesystem::exists(script), row.why == nullptr) << row.files;
        EXPECT_EQ(parser.failureText(),
                  row.why ? "nzb: no files in " + folder.file("big.nzb") + ": " + row.why : "");
    }
}

} // namespace
