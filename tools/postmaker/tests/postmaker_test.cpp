// The postmaker program run on real files: the spool it leaves, and its NZB imported
// through the converter into a real article database.
#include "SqlRows.h"
#include "TestFolders.h"
#include "articleSchema.h"
#include "childProcess.h"
#include "quillmap.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::set<std::string> spoolNames(const std::string& spool) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(spool))
        names.insert(entry.path().filename().string());
    return names;
}

class Postmaker : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        fs::create_directory(folder.file("spool"));
        std::mt19937 random(5);
        std::string binary(1000000, '\0');
        for (std::size_t i = 0; i < binary.size(); ++i)
            binary[i] = i % 9 == 0 ? '\x04' : static_cast<char>(random()); // '\x04' encodes to '.'
        writeFile(folder.file("video & \"sound\".bin"), binary);
        writeFile(folder.file("readme.txt"), "a small text\n");
    }

    tchildRun postmaker(const std::vector<std::string>& extra) {
        std::vector<std::string> words = {std::string(CORV_BIN_DIR) + "/postmaker"};
        words.insert(words.end(), extra.begin(), extra.end());
        return runChild(words);
    }

    tchildRun postBoth(const std::string& nzb) {
        return postmaker({"--spool", folder.file("spool"), "--nzb", folder.file(nzb), "--part-size",
                          "100000", "--line-length", "100", "--subject", "Holiday <&> \"2026\"",
                          "--group", "alt.binaries.x-y", folder.file("video & \"sound\".bin"),
                          folder.file("readme.txt")});
    }

    SqlRows query(sqliteDB& db, const char* sql) {
        SqlRows rows;
        db.exec(sql, collectSqlRow, &rows);
        return rows;
    }

    TempFolder folder{"postmaker_test"};
};

} // namespace

TEST_F(Postmaker, NzbImportsWithNamesAndSegmentCounts) {
    tchildRun run = postBoth("post.nzb");
    ASSERT_EQ(run.exitCode, 0) << run.output;

    writeFile(folder.file("articles.sql"), ARTICLES_SCHEMA);
    sqliteDB db;
    ASSERT_EQ(db.open(folder.file("articles.db").c_str(), folder.file("articles.sql").c_str()), 0);
    quillmap(folder.file("post.nzb").c_str(), folder.file("import.sql").c_str(), 0, 0);
    db.load(folder.file("import.sql").c_str());

    SqlRows files =
        query(db, "SELECT fileFID, fileName, segcount, segavail, fileGroup, fileSubject "
                  "FROM file ORDER BY fileFID");
    ASSERT_EQ(files.size(), 2u);
    // The name keeps its '&'; its double quotes become ' so that they cannot end it (and
    // the converter stores ' as `).
    EXPECT_EQ(files[0][1], "video & `sound`.bin");
    EXPECT_EQ(files[0][2], "10");
    EXPECT_EQ(files[0][3], "10");
    EXPECT_EQ(files[0][4], "alt.binaries.x-y ");
    EXPECT_TRUE(contains(files[0][5], "Holiday <&> `2026` [1/2] - ")) << files[0][5];
    EXPECT_EQ(files[1][1], "readme.txt");
    EXPECT_EQ(files[1][2], "1");
    EXPECT_EQ(files[1][3], "1");

    // Every segment row names an article of the spool, and its bytes are that file's size.
    SqlRows segments = query(db, "SELECT segmFID, segmNum, segmBytes, segmMsgid FROM segm "
                                 "ORDER BY segmFID, segmNum");
    ASSERT_EQ(segments.size(), 11u);
    std::set<std::string> spool = spoolNames(folder.file("spool"));
    EXPECT_EQ(spool.size(), 11u);
    for (const auto& row : segments) {
        EXPECT_TRUE(spool.count(row[3])) << row[3];
        EXPECT_EQ(row[2], std::to_string(fs::file_size(folder.file("spool/" + row[3]))));
    }
    EXPECT_EQ(segments[0][1], "1");
    EXPECT_EQ(segments[9][1], "10");
}

TEST_F(Postmaker, ArticlesAreStoredAsTheServerSendsThemBeforeStuffing) {
    tchildRun run = postBoth("post.nzb");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    bool dotLine = false;
    for (const std::string& name : spoolNames(folder.file("spool"))) {
        EXPECT_NE(name.front(), '.');
        EXPECT_EQ(name.find('/'), std::string::npos);
        std::string article = readFile(folder.file("spool/" + name));
        std::size_t headerEnd = article.find("\r\n\r\n");
        ASSERT_NE(headerEnd, std::string::npos) << name;
        std::string header = article.substr(0, headerEnd + 2);
        EXPECT_TRUE(contains(header, "Message-ID: <" + name + ">\r\n")) << header;
        EXPECT_TRUE(contains(header, "Newsgroups: alt.binaries.x-y\r\n")) << header;
        EXPECT_TRUE(contains(header, "\r\nDate: ")) << header;
        EXPECT_TRUE(contains(header, "From: ")) << header;
        EXPECT_EQ(article.substr(headerEnd + 4, 8), "=ybegin ") << name;
        EXPECT_EQ(article.substr(article.size() - 2), "\r\n");
        EXPECT_FALSE(contains(article, "\r\n.\r\n")) << "no end line in the spool: " << name;
        // Every line ends in CRLF, none is longer than the line length and an escape.
        std::size_t start = headerEnd + 4;
        while (start < article.size()) {
            std::size_t end = article.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            std::string line = article.substr(start, end - start);
            EXPECT_EQ(line.find('\n'), std::string::npos);
            if (line.rfind("=y", 0) != 0) {
                EXPECT_LE(line.size(), 101u);
            }
            dotLine = dotLine || line.front() == '.';
            start = end + 2;
        }
    }
    EXPECT_TRUE(dotLine) << "lines starting with '.' are left to the server's stuffing";
}

TEST_F(Postmaker, MessageIdsDifferFromRunToRun) {
    ASSERT_EQ(postBoth("first.nzb").exitCode, 0);
    std::set<std::string> first = spoolNames(folder.file("spool"));
    tchildRun again = postBoth("second.nzb");
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(spoolNames(folder.file("spool")).size(), 2 * first.size());
}

TEST_F(Postmaker, BadCommandLinesAndFilesAreRefused) {
    struct Row {
        std::vector<std::string> words;
        int exitCode;
        std::string message;
    };
    const std::string spool = folder.file("spool");
    const std::string nzb = folder.file("bad.nzb");
    const std::string file = folder.file("readme.txt");
    const std::vector<Row> rows = {
        {{"--nzb", nzb, file}, 2, "usage"},
        {{"--spool", spool, file}, 2, "usage"},
        {{"--spool", spool, "--nzb", nzb}, 2, "usage"},
        {{"--spool", spool, "--nzb", nzb, "--part-size", "0", file}, 2, "bad option"},
        {{"--spool", spool, "--nzb", nzb, "--part-size", "-5", file}, 2, "bad option"},
        {{"--spool", spool, "--nzb", nzb, "--colour", "red", file}, 2, "bad option"},
        {{"--spool", spool, "--nzb", nzb, "--id-domain", "a/b", file}, 1, "bad message id domain"},
        {{"--spool", folder.file("none"), "--nzb", nzb, file}, 1, "no spool folder"},
        {{"--spool", spool, "--nzb", nzb, folder.file("missing.bin")}, 1, "cannot open"},
    };
    for (const Row& row : rows) {
        tchildRun run = postmaker(row.words);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
        EXPECT_TRUE(contains(run.output, row.message)) << run.output;
    }
    EXPECT_TRUE(spoolNames(spool).empty());
}
