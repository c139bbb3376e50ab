#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "ScoutletTestSupport.h"
#include "textmarkup.h"

namespace {

struct Case {
    std::string input;
    std::string expected;
};

// Runs an in-place routine on a writable copy of each input.
template <typename Routine> void expectInPlace(const std::vector<Case>& cases, Routine routine) {
    for (const auto& c : cases) {
        std::vector<char> text(c.input.begin(), c.input.end());
        text.push_back(0);
        routine(text.data());
        EXPECT_EQ(std::string(text.data()), c.expected) << "input: " << c.input;
    }
}

TEST(TextMarkup, Html2textDecodesEntities) {
    expectInPlace(
        {
            {"AT&amp;T", "AT&T"},
            {"&amp;lt;", "<"},
            {"&apos;", "`"},
            {"a&nbsp;b", "a b"},
            {"&#65; and &#x41;", "A and A"},
            {"&#X41;", " "},
            {"&#321;", "\u0141"},
            {"it&#8217;s &#x65E5;&#26412; &#65536;", "it\u2019s \u65e5\u672c \U00010000"},
            {"&#x110000;&#xD800;", "??"},
            {"&foo;", " "},
            {"&abcdefghij;", "&abcdefghij;"},
            {"&#0;x", ""},
            {"Caf&eacute; &AElig;&yuml;&divide;&frac34;", "Caf\u00e9 \u00c6\u00ff\u00f7\u00be"},
            {"&quot;q&quot; &gt; &copy;&reg;", "\"q\" > \u00a9\u00ae"},
            {"no entity & here", "no entity & here"},
            {"a & b; c", "a   c"},
            {"x&amp;amp;y", "x&y"},
            {"&lt;&gt;&#x3c;", "<><"},
            {"&&&amp;", " "}, // the first "&" reaches the ";", so all of it is one unknown name //
                              // whatever lies between "&" and ";" counts as a name
        },
        [](char* s) { html2text(s); });
}

TEST(TextMarkup, StriptagsRemovesTagsAndBreaksLines) {
    expectInPlace(
        {
            {"a<br>b", "a b"},
            {"a<BR>b", "a b"},
            {"a<br/>b", "ab"},
            {"a<b", "a<b"},
            {"<a href=\"x\">link</a> text", "link text"},
            {"x<>y", "xy"},
            {"1 > 0 <i>ok</i>", "1 > 0 ok"},
            {"<b>1</b><i>2</i>3<br>4<", "123 4<"},
        },
        [](char* s) { striptags(s); });
}

TEST(TextMarkup, Url2textDecodesEscapes) {
    expectInPlace(
        {
            {"a%20b%21", "a b!"},
            {"a%2Bb", "a b"},
            {"50%", "50"},
            {"5%z", "5%z"},
            {"a%4", "a"},
            {"%4G", "%4G"},
            {"x%00y", "x"},
            {"one+two%2fthree", "one two/three"},
            {"%41%42%43%2525", "ABC%25"},
        },
        url2text);
}

TEST(TextMarkup, Text2urlEncodesKeywords) {
    const std::vector<Case> cases = {
        {"a b&c", "a+b%26c"},
        {"x+y", "x+y"},
        {"my film: part 1", "my+film%3A+part+1"},
        {"\"q\" \xE9", "\"q\"+%E9"},
        {"Caf\u00e9 \u65e5", "Caf%C3%A9+%E6%97%A5"},
        {"$&,/:;=?@<>#%{}|\\^~[]`'",
         "%24%26%2C%2F%3A%3B%3D%3F%40%3C%3E%23%25%7B%7D%7C%5C%5E%7E%5B%5D%60%27"},
    };
    for (const auto& c : cases) {
        std::vector<char> out(c.input.size() * 3 + 1, 'X');
        EXPECT_EQ(text2url(out.data(), c.input.c_str()), out.data());
        EXPECT_EQ(std::string(out.data()), c.expected) << "input: " << c.input;
    }
    char untouched[] = "keep";
    EXPECT_EQ(text2url(untouched, nullptr), nullptr);
    EXPECT_STREQ(untouched, "keep");
}

TEST(TextMarkup, TosqlAndReplacetext) {
    expectInPlace({{"it's", "it`s"}, {"''", "``"}, {"say \"hi\"", "say \"hi\""}}, tosql);
    expectInPlace(
        {
            {"alt.binaries.tv alt.binaries.x", "a.b.tv a.b.x"},
            {"alt.binaries.alt.binaries.", "a.b.a.b."},
            {"alt.binarie", "alt.binarie"},
        },
        [](char* s) { replacetext(s, "alt.binaries.", "a.b."); });
}

TEST(TextMarkup, StripwhitespaceSkipsBlanksAndNoBreakSpaces) {
    char text[] = " \t\u00a0word";
    EXPECT_STREQ(stripwhitespace(text), "word");
    char accented[] = " \u00e9t\u00e9";
    EXPECT_STREQ(stripwhitespace(accented), "\u00e9t\u00e9");
    char blank[] = " \n";
    EXPECT_STREQ(stripwhitespace(blank), "");
    char plain[] = "word ";
    EXPECT_EQ(stripwhitespace(plain), plain);
}

TEST(TextMarkup, NullTextsAreIgnored) {
    char* field = nullptr;
    EXPECT_EQ(strExtract(nullptr, "a", "b", field, 0), nullptr);
    EXPECT_EQ(tosql(nullptr), nullptr);
    replacetext(nullptr, "a", "b");
    EXPECT_EQ(striptags(nullptr), 0);
    url2text(nullptr);
    EXPECT_EQ(html2text(nullptr), 0);
    EXPECT_EQ(field, nullptr);
}

TEST(TextMarkup, StrExtractCutsFieldsAndChains) {
    struct ExtractCase {
        std::string text;
        const char* start;
        const char* end;
        int mode;
        bool found;
        std::string field; // "(unchanged)" when the field keeps its previous value
        std::string rest;  // text at the returned cursor
    };
    const std::vector<ExtractCase> cases = {
        {"x<b>y</b>z", "<b>", "</b>", 0, true, "y", "z"},
        {"x<b></b>z", "<b>", "</b>", 0, true, "(unchanged)", "z"},
        {"x<b>y", "<b>", "</b>", 0, false, "(unchanged)", ""},
        {"xy</b>z", "<b>", "</b>", 0, false, "(unchanged)", ""},
        {"head:tail", nullptr, ":", 0, true, "head", "tail"},
        {"a=rest of it", "=", nullptr, 0, true, "rest of it", ""},
        {"<td> \t&amp;<i>x</i></td>", "<td>", "</td>", 1, true, "&x", ""},
        {"<td> &amp;<i>x</i></td>", "<td>", "</td>", 2, true, " &x", ""},
        {"?b=a%20b.rar&amp;g", "?b=", "&amp;", 3, true, "a b.rar", "g"},
        {"/>\n  <i>alt.binaries.tv</i></td", "/>", "</td", 4, true, "a.b.tv", ""},
        {">alt.binaries.tv<br>alt.binaries.x<td", ">", "<td", 5, true, "a.b.tv a.b.x", ""},
        {">&amp;<i><td", ">", "<td", 7, true, "&amp;<i>", ""},
    };
    for (const auto& c : cases) {
        std::vector<char> text(c.text.begin(), c.text.end());
        text.push_back(0);
        char previous[] = "(unchanged)";
        char* field = previous;
        char* cursor = strExtract(text.data(), c.start, c.end, field, c.mode);
        EXPECT_EQ(cursor != nullptr, c.found) << c.text;
        EXPECT_EQ(std::string(field), c.field) << c.text;
        if (cursor) {
            EXPECT_EQ(std::string(cursor), c.rest) << c.text;
        }
    }
    // A missing marker stops the whole chain.
    char page[] = "<a>1</a><b>2</b>";
    char *first = nullptr, *second = nullptr, *third = nullptr;
    char* cursor = strExtract(page, "<a>", "</a>", first, 0);
    cursor = strExtract(cursor, "<c>", "</c>", second, 0);
    cursor = strExtract(cursor, "<b>", "</b>", third, 0);
    EXPECT_STREQ(first, "1");
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_EQ(cursor, nullptr);
}

// End of the current local day, as the row builder computes its reference instant.
time_t endOfToday() {
    const time_t now = time(nullptr);
    struct tm fields {};
    localtime_r(&now, &fields);
    fields.tm_hour = 23;
    fields.tm_min = 59;
    fields.tm_sec = 59;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

std::vector<std::string> lines(const std::string& script) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = script.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(script.substr(start, nl - start + 1));
    return out;
}

TEST(ConcatResult, BuildsOneTransactionOfRows) {
    char id[] = "123", subject[] = "it's", file[] = "f.rar", group[] = "a.b.tv",
         poster[] = "O'Brien";
    char avail[] = "20", total[] = "25";
    tresult row{};
    row.result_id = id;
    row.subject = subject;
    row.filename = file;
    row.newsgroup = group;
    row.poster = poster;
    row.parts_avail = avail;
    row.parts_total = total;
    row.age = 5;
    row.size = 700;
    row.pct = 80;
    tresult bare{};
    char bareId[] = "9";
    bare.result_id = bareId;

    std::string sql;
    concatresult(0, row, sql, "binsearch");
    concatresult(1, bare, sql, "binsearch");
    concatresult(-1, bare, sql, "binsearch");

    const time_t end = endOfToday();
    const auto got = lines(sql);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "BEGIN;\n");
    EXPECT_EQ(
        got[1],
        "INSERT OR IGNORE INTO result VALUES('123','binsearch',0,80,'20/25','it`s','f.rar',700,"
        "'a.b.tv','','O`Brien',5," +
            std::to_string(end - 5 * 86400) + ");\n");
    EXPECT_EQ(got[2],
              "INSERT OR IGNORE INTO result VALUES('9','binsearch',0,0,'1/1','','',0,'','','',0," +
                  std::to_string(end) + ");\n");
    EXPECT_EQ(got[3], "COMMIT;\n");
    EXPECT_STREQ(subject, "it`s") << "the free texts are made safe in place";
}

TEST(ConcatResult, QuotedValuesCannotLeaveTheirLiterals) {
    char id[] = "1'); DROP TABLE result; --", group[] = "a.b.x'", category[] = "'",
         avail[] = "1',0);--", total[] = "2'";
    tresult row{};
    row.result_id = id;
    row.newsgroup = group;
    row.category = category;
    row.parts_avail = avail;
    row.parts_total = total;
    std::string sql;
    concatresult(0, row, sql, "eng'ine");
    concatresult(-1, row, sql, "eng'ine");

    TempFolder folder("concat_test");
    {
        ResultsDatabase db(folder.file("results.db"));
        ASSERT_EQ(db.run(sql), SQLITE_OK) << sql;
        EXPECT_EQ(
            db.rows(
                "SELECT result_id, engine, parts, newsgroup, category FROM result WHERE rowid>1"),
            std::vector<std::string>{"1'); DROP TABLE result; --|eng'ine|1',0);--/2'|a.b.x'|'"});
    }
}

TEST(ConcatResult, OverlongRowsAreShortenedLongestFirst) {
    // A newsgroup of apostrophes doubles on escaping; every cut must keep the pairs whole.
    for (size_t quotes : {600u, 601u, 1500u}) {
        std::string subject(900, 's'), poster(300, 'p'), group(quotes, '\'');
        char id[] = "77";
        tresult row{};
        row.result_id = id;
        row.subject = subject.data();
        row.poster = poster.data();
        row.newsgroup = group.data();
        std::string sql;
        concatresult(0, row, sql, "nzbindex");
        concatresult(-1, row, sql, "nzbindex");
        const auto got = lines(sql);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_LE(got[1].size(), kResultRowLimit);

        TempFolder folder("concat_test");
        {
            ResultsDatabase db(folder.file("results.db"));
            ASSERT_EQ(db.run(sql), SQLITE_OK) << got[1];
            const auto stored =
                db.rows("SELECT length(subject), length(poster), length(newsgroup), "
                        "replace(newsgroup, '''', '') FROM result WHERE result_id='77'");
            ASSERT_EQ(stored.size(), 1u);
            int subjectLength = 0, posterLength = 0, groupLength = 0;
            sscanf(stored[0].c_str(), "%d|%d|%d|", &subjectLength, &posterLength, &groupLength);
            EXPECT_EQ(stored[0].back(), '|') << "the newsgroup holds nothing but its apostrophes";
            EXPECT_EQ(posterLength, 300) << "the shorter texts are left alone";
            EXPECT_GT(subjectLength, 300);
            EXPECT_GT(groupLength, 100);
        }
    }
}

TEST(ConcatResult, HugeTextsAreCutToOneCap) {
    std::string subject(3000000, 'q'), filename(3000000, 'w'), poster(2000000, 'z');
    char id[] = "5", group[] = "a.b.tv";
    tresult row{};
    row.result_id = id;
    row.subject = subject.data();
    row.filename = filename.data();
    row.poster = poster.data();
    row.newsgroup = group;
    std::string sql;
    concatresult(0, row, sql, "yabsearch");
    concatresult(-1, row, sql, "yabsearch");
    const auto got = lines(sql);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_LE(got[1].size(), kResultRowLimit);
    EXPECT_NE(got[1].find("'a.b.tv'"), std::string::npos) << "short texts stay whole";
    const auto count = [&](char c) { return std::count(got[1].begin(), got[1].end(), c); };
    EXPECT_GT(count('q'), 250);
    EXPECT_EQ(count('q'), count('w'));
    EXPECT_EQ(count('q'), count('z'));
}

} // namespace
