// The parser's pure routines: entity decoding, quoting, subject analysis and the
// statement texts.
#include "cNzbParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string decoded(const std::string& text) {
    std::string copy = text;
    cNzbParser::html2text(copy.data());
    return copy.c_str();
}

TEST(Html2text, DecodesReferencesToUtf8AsTheTableAndRulesSay) {
    struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"a &amp; b", "a & b"},
        {"&amp;lt;", "&lt;"}, // scanning resumes after the replaced character
        {"&lt;&gt;&quot;&apos;", "<>\"`"},
        {"&#65;&#x42;&#X43;&#x100;A", "ABC\u0100A"},
        {"&#233;&eacute;&Eacute;&yuml;&iexcl;", "\u00e9\u00e9\u00c9\u00ff\u00a1"},
        {"[&nbsp;]&szlig;&THORN;&divide;", "[ ]\u00df\u00de\u00f7"},
        {"it&#8217;s &#x20AC;5 &#65536; &#x10FFFF;", "it\u2019s \u20ac5 \U00010000 \U0010ffff"},
        {"&bogus;&#;&#x;&#12a;&AMP;", "?????"},
        // Control characters, surrogates and codes beyond U+10FFFF are no text.
        {"a&#10;b&#13;c&#0;d&#9;e&#x85;f", "a?b?c?d?e?f"},
        {"&#xD800;&#1114112;&#x110000;", "???"},
        {"&yacute;", "\u00fd"},                                // ";" exactly 7 characters on
        {"&toolong1;&amp;", "&toolong1;&"},                    // ";" too far: the "&" stays
        {"&#000000065;", "&#000000065;"},                      // too far for a number too
        {"x & y", "x & y"},                                    // no ";" at all
        {"&lt; & no semicolon &amp", "< & no semicolon &amp"}, // decoding ends at that "&"
        {"a & b;", "a ?"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decoded(row.in), row.out) << row.in;
}

TEST(Html2text, LongRunsOfAmpersandsStayLinear) {
    std::string text(4000, '&');
    text += ";";
    EXPECT_EQ(decoded(text), std::string(3993, '&') + "?");
}

TEST(Quoting, Text2sqlTurnsQuotesIntoBackquotes) {
    char text[] = "it's 'quoted'";
    cNzbParser::text2sql(text);
    EXPECT_STREQ(text, "it`s `quoted`");
}

TEST(Quoting, Quote2sqlDoublesQuotesAndCutsOnlyWholeCharacters) {
    struct {
        const char* in;
        std::size_t size;
        const char* out;
        std::size_t taken;
    } rows[] = {
        {"x'); DELETE FROM post; --", 64, "x''); DELETE FROM post; --", 25},
        {"ab'c", 4, "ab", 2}, // the doubled quote does not fit: cut before it
        {"ab'c", 5, "ab''", 3},
        {"line\r\nbreak", 64, "line??break", 11},
        {"abc", 1, "", 0},
        {"ab\u00e9", 4, "ab", 2}, // never half a character
        {"a'\u20ac", 7, "a''\u20ac", 5},
        {"a'\u20ac", 6, "a''", 2},
    };
    for (const auto& row : rows) {
        char out[64];
        EXPECT_EQ(cNzbParser::quote2sql(row.in, out, row.size), row.taken) << row.in;
        EXPECT_STREQ(out, row.out) << row.in;
    }
}

TEST(Subject, NameTypeCountAndBlocks) {
    struct {
        const char* subject;
        const char* name;
        unsigned type;
        unsigned segcount;
        unsigned parblocks;
        const char* stored; // the subject after in-place lowercasing
    } rows[] = {
        {"[1/2] - \"name.part01.rar\" yEnc (1/50)", "name.part01.rar", 1, 50, 0, nullptr},
        {"\"Name.R01\" yEnc (3/7)", "Name.R01", 1, 7, 0, "\"Name.r01\" yEnc (3/7)"},
        {"\"name.r00\" (1/2)", "name.r00", 0, 2, 0, nullptr},
        {"\"name.rev\" (1/2)", "name.rev", 0, 2, 0, nullptr},
        {"\"name.vol07+08.par2\" yEnc (1/9)", "name.vol07+08.par2", 2, 9, 8, nullptr},
        {"\"NAME.VOL07+08.PAR2\" (1/9)", "NAME.VOL07+08.PAR2", 2, 9, 8, nullptr},
        {"\"a.volume.vol01+02.par2\"", "a.volume.vol01+02.par2", 2, 0, 2, nullptr},
        {"\"name.par2\" (1/1)", "name.par2", 2, 1, 0, nullptr},
        {"\"a.nzb\"", "a.nzb", 3, 0, 0, nullptr},
        {"\"a.NFO\"", "a.NFO", 4, 0, 0, "\"a.nfo\""},
        {"\"a.sfv\"", "a.sfv", 5, 0, 0, nullptr},
        {"\"Movie.AVI\" (1/3)", "Movie.AVI", 6, 3, 0, "\"movie.avi\" (1/3)"},
        {"\"Movie-Sample.avi\" (1/3)", "Movie-Sample.avi", 7, 3, 0, "\"movie-sample.avi\" (1/3)"},
        {"\"noext\" (1/x)", "noext", 0, 0, 0, nullptr},
        {"\"a.txt\" (1/5) (note)", "a.txt", 0, 0, 0, nullptr},
        {"\"a.txt\" (1/50) part (2/3)", "a.txt", 0, 3, 0, nullptr},
        {"\"a.txt\" yEnc ( 1/50)", "a.txt", 0, 50, 0, nullptr},
        {"\"a.txt\" yEnc (1/ 50)", "a.txt", 0, 50, 0, nullptr},
        {"\"a.txt\" yEnc (1 /50)", "a.txt", 0, 0, 0, nullptr},
        {"Some Movie SAMPLE.AVI (1/4", "", 7, 0, 0, "some movie sample.avi (1/4"},
        {"no quotes File.NFO (1/1)", "", 4, 1, 0, "no quotes file.nfo (1/1)"},
        {"\"\" empty name.vol01+03.par2", "", 2, 0, 3, nullptr},
        {"one \" quote.nzb", "", 3, 0, 0, nullptr},
    };
    for (const auto& row : rows) {
        std::string subject = row.subject;
        cNzbParser::tfile rec;
        rec.subject = subject.data();
        cNzbParser::parseSubject(&rec);
        EXPECT_STREQ(rec.name, row.name) << row.subject;
        EXPECT_EQ(rec.type, row.type) << row.subject;
        EXPECT_EQ(rec.segcount, row.segcount) << row.subject;
        EXPECT_EQ(rec.parblocks, row.parblocks) << row.subject;
        if (row.stored) {
            EXPECT_EQ(subject, row.stored) << row.subject;
        }
    }
}

TEST(Subject, LongNameIsCutAtACharacterBoundary) {
    // 126 bytes of name, then a two-byte character that would end at byte 128.
    std::string subject = "\"" + std::string(126, 'n') + "\u00e9.rar\"";
    cNzbParser::tfile rec;
    rec.subject = subject.data();
    cNzbParser::parseSubject(&rec);
    EXPECT_EQ(std::string(rec.name), std::string(126, 'n'));
}

TEST(Subject, LongNameIsCutToItsBufferAndStillClassified) {
    std::string subject = "\"" + std::string(300, 'n') + ".part01.rar\" yEnc (1/2)";
    cNzbParser::tfile rec;
    rec.subject = subject.data();
    cNzbParser::parseSubject(&rec);
    EXPECT_EQ(std::strlen(rec.name), cNzbParser::kNameSize - 1);
    EXPECT_EQ(rec.type, 1u);
}

TEST(SQLsave, StatementTexts) {
    char subject[] = "subj";
    char poster[] = "poster";
    char date[] = "1234567890";
    char number[] = "3";
    char bytes[] = "4000";
    cNzbParser::tfile rec;
    rec.postid = 7;
    rec.postdesc = "a.nzb";
    rec.fileid = 12;
    rec.subject = subject;
    rec.poster = poster;
    rec.date = date;
    std::strcpy(rec.name, "a.rar");
    std::strcpy(rec.groups, "alt.binaries.x ");
    rec.type = 1;
    rec.segcount = 50;
    rec.segpresent = 49;
    rec.parblocks = 0;
    rec.number = number;
    rec.bytes = bytes;
    rec.msgid = "id@host";
    std::strcpy(rec.quotedPassword, "it''s");
    struct {
        int kind;
        const char* text;
    } rows[] = {
        {0, "BEGIN\n"},
        {1, "COMMIT\n"},
        {2, "INSERT INTO post(postPID, postDesc, postTarget)                                 "
            "VALUES(7, 'a.nzb', '')\n"},
        {3, "INSERT INTO file(fileFID, filePID, fileSubject, fileName, filePoster, fileDate, "
            "fileType, segcount, parblocks) VALUES(12, 7, 'subj', 'a.rar', 'poster', "
            "1234567890, 1, 50, 0)\n"},
        {4, "INSERT INTO segm(segmFID, segmNum, segmBytes, segmMsgid)               "
            "VALUES(12, 3, 4000, 'id@host')\n"},
        {5, "UPDATE file SET fileGroup='alt.binaries.x ' WHERE fileFID=12\n"},
        {6, "UPDATE file SET fileSize=(SELECT SUM(segmBytes) FROM segm WHERE segmFID==12 ) "
            "WHERE fileFID==12\n"},
        {7, "UPDATE file SET segavail=49 WHERE fileFID=12\n"},
        {8, "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE filePID=7 AND  "
            "(fileType<3 AND parblocks=0)\n"},
        {9, "INSERT OR REPLACE INTO postPassword(pid, password) VALUES(7, 'it''s')\n"},
        {10, ""},
    };
    for (const auto& row : rows) {
        char buffer[cNzbParser::kStatementSize];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_STREQ(cNzbParser::SQLsave(static_cast<eSQLsave>(row.kind), &rec, buffer), row.text)
            << row.kind;
    }
}

TEST(SQLsave, AStatementThatWouldNotFitIsEmpty) {
    std::string desc(cNzbParser::kStatementSize, 'd');
    cNzbParser::tfile rec;
    rec.postdesc = desc.c_str();
    char buffer[cNzbParser::kStatementSize];
    EXPECT_STREQ(cNzbParser::SQLsave(sqlPost, &rec, buffer), "");
}

} // namespace
