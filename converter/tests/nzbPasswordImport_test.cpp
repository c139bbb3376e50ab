// NZB passwords imported the way the download client imports: converter, script runner,
// a real article database file.
#include "ArticleDatabaseTest.h"
#include "NzbText.h"
#include "nzbImport.h"
#include "xmlEscape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rows = SqlRows;

class PasswordImport : public ArticleDatabaseTest {
  protected:
    // Imports an NZB named `name` whose head holds `head`; the converter's log in `log`.
    bool import(const std::string& name, const std::string& head = "") {
        const std::string nzb = folder.file(name);
        writeFile(
            nzb,
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<nzb>\n<head>" + head + "</head>\n" +
                nzbFile("poster=\"p\" date=\"1\" subject=\"&quot;" + name + ".rar&quot; (1/1)\"",
                        {"g"}, {"bytes=\"10\" number=\"1\">" + name + "@x"}) +
                "</nzb>\n");
        testing::internal::CaptureStdout();
        const bool imported = importNzb(db, nzb.c_str(), folder.file("import.sql").c_str());
        log = testing::internal::GetCapturedStdout();
        return imported;
    }
    static std::string meta(const std::string& password) {
        return "<meta type=\"password\">" + password + "</meta>";
    }
    Rows passwords() { return query("SELECT pid, password FROM postPassword ORDER BY pid"); }

    std::string log;
};

TEST_F(PasswordImport, HostilePasswordsAreStoredExactlyAndHarmNothing) {
    const std::vector<std::string> hostile = {
        "'); DROP TABLE post; --",
        "'''",
        "a'b\"c`d\\e",
        "x'); DELETE FROM postPassword; INSERT INTO postPassword VALUES(9, 'own",
        "; COMMIT; BEGIN;",
        "<&>\u00e9\u263a\U0001F511",
        std::string(255, '\''),
    };
    Rows expected;
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        ASSERT_TRUE(import("post" + std::to_string(i) + ".nzb", meta(xmlEscaped(hostile[i]))));
        EXPECT_EQ(log.find("SQLerr"), std::string::npos) << log;
        expected.push_back({std::to_string(i + 1), hostile[i]});
    }
    EXPECT_EQ(passwords(), expected);
    EXPECT_EQ(query("SELECT COUNT(*) FROM post"), (Rows{{"7"}}));
    EXPECT_EQ(query("SELECT COUNT(*) FROM file"), (Rows{{"7"}}));
    EXPECT_EQ(query("SELECT COUNT(*) FROM queu"), (Rows{{"7"}}));
}

TEST_F(PasswordImport, FileNamePasswordLeavesTheNameAndTheMetaWins) {
    ASSERT_TRUE(import("My.Post{{s3cret}}.nzb"));
    ASSERT_TRUE(import("Both{{name}}.nzb", meta("from meta")));
    ASSERT_TRUE(import("Empty{{}}.nzb"));
    ASSERT_TRUE(import("Odd{{x}.nzb"));
    ASSERT_TRUE(import("Drop{{'); DROP TABLE post; --}}.nzb"));
    // A name's bytes that are no UTF-8 are read as Latin-1, like the rest of the name.
    ASSERT_TRUE(import("Gr\xfc\xdf{{gr\xfc\xdf}}.nzb"));
    EXPECT_EQ(query("SELECT postPID, postDesc FROM post ORDER BY postPID"),
              (Rows{{"1", "My.Post.nzb"},
                    {"2", "Both.nzb"},
                    {"3", "Empty{{}}.nzb"},
                    {"4", "Odd{{x}.nzb"},
                    {"5", "Drop.nzb"},
                    {"6", "Gr\u00fc\u00df.nzb"}}));
    EXPECT_EQ(passwords(), (Rows{{"1", "s3cret"},
                                 {"2", "from meta"},
                                 {"5", "'); DROP TABLE post; --"},
                                 {"6", "gr\u00fc\u00df"}}));
}

// A password that would be stored changed is left out; the post is imported all the same
// and nothing stored before is touched.
TEST_F(PasswordImport, UnusablePasswordsAreRefusedAndTheRestIsKept) {
    ASSERT_TRUE(import("first.nzb", meta("kept")));
    const struct {
        std::string head;
        const char* logged;
    } rows[] = {
        {meta("line\rend"), "holding a control character"},
        {meta("bell\x07"), "holding a control character"},
        {meta(std::string(10240, 'k')), "nzb element longer than 4095 characters skipped"},
        {meta(std::string(256, 'k')), "longer than 255 bytes"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(import("refused.nzb", row.head)) << row.logged;
        EXPECT_NE(log.find(row.logged), std::string::npos) << log;
    }
    EXPECT_EQ(passwords(), (Rows{{"1", "kept"}}));
    EXPECT_EQ(query("SELECT COUNT(*), SUM(fileSize) FROM file"), (Rows{{"5", "50"}}));

    // Bytes that are no UTF-8 are read as Latin-1, like every other text of the NZB.
    ASSERT_TRUE(import("latin1.nzb", meta("gr\xfc\xdf")));
    EXPECT_EQ(passwords(), (Rows{{"1", "kept"}, {"6", "gr\u00fc\u00df"}}));
}

// Rows left by removed posts whose ids a new post takes must not give it their password.
TEST_F(PasswordImport, ANewPostNeverTakesOverAStaleRowOfItsId) {
    ASSERT_TRUE(import("kept.nzb", meta("kept")));
    db.exec("INSERT INTO postPassword(pid, password) VALUES(2, 'stale'), (3, 'stale')");
    ASSERT_TRUE(import("none.nzb"));
    EXPECT_EQ(passwords(), (Rows{{"1", "kept"}}));
    db.exec("INSERT INTO postPassword(pid, password) VALUES(3, 'stale')");
    ASSERT_TRUE(import("fresh.nzb", meta("fresh")));
    EXPECT_EQ(passwords(), (Rows{{"1", "kept"}, {"3", "fresh"}}));
}

} // namespace
