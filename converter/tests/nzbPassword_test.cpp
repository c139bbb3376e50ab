// The archive password an NZB names, in its head or its file name, and the statement the
// converter writes for it.
#include "NzbText.h"
#include "TestFolders.h"
#include "cNzbPassword.h"
#include "quillmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kPasswordRow = "INSERT OR REPLACE INTO postPassword(pid, password) VALUES(";
const std::string kQueueRow = "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE ";

std::string oneFile() {
    return nzbFile("poster=\"p\" date=\"1\" subject=\"&quot;a.rar&quot; (1/1)\"", {"g"},
                   {"bytes=\"1\" number=\"1\">m@x"});
}

// An NZB whose head holds `head` before its one file.
std::string withHead(const std::string& head,
                     const std::string& declaration = "<?xml version=\"1.0\"?>\n") {
    return declaration + "<nzb>\n<head>" + head + "</head>\n" + oneFile() + "</nzb>\n";
}

class NzbPassword : public ::testing::Test {
  protected:
    // The script's lines for `nzbText` stored as `name`; the converter's log in `log`.
    std::vector<std::string> convert(const std::string& nzbText,
                                     const std::string& name = "post.nzb") {
        writeFile(folder.file(name), nzbText);
        testing::internal::CaptureStdout();
        quillmap(folder.file(name).c_str(), folder.file("post.sql").c_str(), 4, 0);
        log = testing::internal::GetCapturedStdout();
        return splitLines(readFile(folder.file("post.sql")));
    }
    // The password statement of the script, "" when there is none.
    std::string passwordRow(const std::string& nzbText, const std::string& name = "post.nzb") {
        std::string row;
        for (const std::string& line : convert(nzbText, name))
            if (line.rfind(kPasswordRow, 0) == 0) row += line;
        return row;
    }
    static std::string rowFor(const std::string& quoted) {
        return kPasswordRow + "5, '" + quoted + "')";
    }

    TempFolder folder;
    std::string log;
};

TEST_F(NzbPassword, TheStatementFollowsTheFilesAndLeavesTheOthersAsTheyWere) {
    const std::vector<std::string> plain = convert(withHead(""));
    std::vector<std::string> lines =
        convert(withHead("<meta type=\"title\">T</meta><meta type=\"password\">secret</meta>"));
    ASSERT_EQ(lines.size(), plain.size() + 1);
    ASSERT_EQ(lines.at(lines.size() - 3), rowFor("secret"));
    lines.erase(lines.end() - 3);
    EXPECT_EQ(lines, plain);
    EXPECT_EQ(plain.at(plain.size() - 2).rfind(kQueueRow, 0), 0u);
}

// Whatever layout the reader takes, and whatever way XML writes the characters.
TEST_F(NzbPassword, MetaIsReadInAnyLayoutWithReferencesAndCdata) {
    struct {
        const char* head;
        const char* quoted;
    } rows[] = {
        {"<meta type=\"password\">secret</meta>", "secret"},
        {"\r\n  <meta\r\n    type='password'\r\n  >\r\n    secret\r\n  </meta>\r\n", "secret"},
        {"<META TYPE=\"Password\">upper</META>", "upper"},
        {"<meta type=\"password\">a&amp;b&lt;c&apos;d&quot;&#233;&#x263A;</meta>",
         "a&b<c''d\"\u00e9\u263a"},
        {"<meta type=\"password\"><![CDATA[x<y>&amp;]]></meta>", "x<y>&amp;"},
        {"<meta type=\"password\"><![CDATA[<a<b]]]></meta>", "<a<b]"},
        {"<meta type=\"password\">pre<![CDATA[<mid>]]>post&amp;</meta>", "pre<mid>post&"},
        {"<meta type=\"password\">caf\u00e9 \u65e5\u672c</meta>", "caf\u00e9 \u65e5\u672c"},
        // The first password counts; an empty one is none.
        {"<meta type=\"password\"></meta><meta type=\"password\"/><meta "
         "type=\"password\">one</meta><meta type=\"password\">two</meta>",
         "one"},
        {"<meta type=\"category\">tv</meta><meta type=\"password\">pw</meta>", "pw"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(passwordRow(withHead(row.head)), rowFor(row.quoted)) << row.head;
}

// A meta read only in part is left out with a log line; the post and its files are
// imported all the same.
TEST_F(NzbPassword, MetaReadInPartIsLeftOutWithALogLine) {
    struct {
        std::string head;
        const char* logged;
    } rows[] = {
        {"<meta type=\"password\"><![CDATA[" + std::string(3000, 'p') + "<" +
             std::string(3000, 'q') + "]]></meta>",
         "nzb password meta longer than 4096 characters ignored"},
        {"<meta type=\"password\"><![CDATA[a<" + std::string(5000, 'b') + "]]></meta>",
         "nzb password meta lost a skipped element, ignored"},
        {"<meta type=\"password\">open<title>x</title>", "nzb password meta not closed, ignored"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> lines = convert(withHead(row.head));
        for (const std::string& line : lines)
            EXPECT_NE(line.rfind(kPasswordRow, 0), 0u) << line;
        EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        EXPECT_EQ(lines.size(), 9u) << row.logged;
    }
}

TEST(NamePassword, OnlyAFilledPairOfBracesAtTheEndIsTaken) {
    struct {
        const char* name;
        const char* kept;
        const char* password;
    } rows[] = {
        {"My.Post{{s3cret}}.nzb", "My.Post.nzb", "s3cret"},
        {"My.Post{{s3cret}}.nzb.gz", "My.Post.nzb.gz", "s3cret"},
        {"My.Post{{s3cret}}", "My.Post", "s3cret"},
        {"{{only}}.nzb", ".nzb", "only"},
        {"a{{b}}c{{d e}}.nzb", "a{{b}}c.nzb", "d e"},
        {"a{{b}c}}.nzb", "a.nzb", "b}c"},
        {"My.Post{{}}.nzb", "My.Post{{}}.nzb", ""},
        {"a{{b{{}}.nzb", "a{{b{{}}.nzb", ""},
        {"My.Post{{s3cret}.nzb", "My.Post{{s3cret}.nzb", ""},
        {"My.Post}}s3cret{{.nzb", "My.Post}}s3cret{{.nzb", ""},
        {"My{{s3cret}}.Post.nzb", "My{{s3cret}}.Post.nzb", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        std::string name = row.name;
        EXPECT_EQ(takeNamePassword(name), row.password) << row.name;
        EXPECT_EQ(name, row.kept) << row.name;
    }
}

} // namespace
