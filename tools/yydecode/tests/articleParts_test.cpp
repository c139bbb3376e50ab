// Reading saved articles: the yEnc keyword lines, UU lines, output names and the order
// of segment files.
#include "OutputName.h"
#include "SegmentPaths.h"
#include "UuDecoder.h"
#include "YencArticle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHeader = "From: a@b\r\nSubject: \"x\" yEnc (2/3)\r\n\r\n";

} // namespace

TEST(YencArticle, ReadsKeywordLinesAndFindsTheBody) {
    std::string problem;
    // The result points into the text, which must outlive it.
    const std::string text = kHeader +
                             "=ybegin part=2 total=3 line=128 size=300 name=my file size=9.bin\r\n"
                             "=ypart begin=101 end=200\r\nBODY\r\n"
                             "=yend size=100 part=2 pcrc32=0000abcd crc32=DEADBEEF\r\n.\r\n";
    auto article = findYencArticle(text, problem);
    ASSERT_TRUE(article) << problem;
    EXPECT_EQ(article->name, "my file size=9.bin"); // the name runs to the line end
    EXPECT_EQ(article->size, 300u);
    EXPECT_EQ(article->part, 2);
    EXPECT_EQ(article->total, 3);
    EXPECT_EQ(article->begin, 101u);
    EXPECT_EQ(article->end, 200u);
    EXPECT_EQ(article->body, "BODY\r\n");
    EXPECT_TRUE(article->hasEnd);
    EXPECT_EQ(article->partCrc, 0xabcdu);
    EXPECT_EQ(article->fileCrc, 0xdeadbeefu);
    EXPECT_EQ(article->partSize, 100u);
}

TEST(YencArticle, SinglePartLfOnlyAndMissingEndLine) {
    std::string problem;
    auto single = findYencArticle("Subject: s\n\n=ybegin line=128 size=4 name=a\nBODY\n"
                                  "=yend size=4 crc32=12345678\n.\n",
                                  problem);
    ASSERT_TRUE(single) << problem;
    EXPECT_EQ(single->begin, 1u);
    EXPECT_EQ(single->end, 4u);
    EXPECT_EQ(single->body, "BODY\n");
    EXPECT_EQ(single->partCrc, 0x12345678u) << "a single part's crc32 is its own";

    auto cut = findYencArticle("=ybegin line=128 size=4 name=a\r\nBO\r\nDY\r\n.\r\n\r\n", problem);
    ASSERT_TRUE(cut) << problem;
    EXPECT_FALSE(cut->hasEnd);
    EXPECT_EQ(cut->body, "BO\r\nDY\r\n") << "the end line is not data";

    auto marked = findYencArticle("=ybegin part=1 total=1 line=128 size=4 name=a\r\nBODY\r\n"
                                  "=yend size=4 part=1 crc32=00000001\r\n",
                                  problem);
    ASSERT_TRUE(marked) << problem;
    EXPECT_EQ(marked->end, 4u) << "part 1 of 1 without =ypart is the whole file";
    EXPECT_EQ(marked->body, "BODY\r\n");
    EXPECT_EQ(marked->partCrc, 1u);

    // "=ybegin" must start a line: quoted in the header it is no article.
    EXPECT_FALSE(findYencArticle("Subject: see =ybegin size=1 name=x\r\n\r\ntext\r\n", problem));
    EXPECT_TRUE(problem.empty());
}

TEST(YencArticle, UnusableHeadersAreRefusedWithAReason) {
    const std::vector<std::string> bodies = {
        "=ybegin line=128 size=ten name=a\r\n",                                // bad size
        "=ybegin line=128 size=99999999999999999 name=a\r\n",                  // huge size
        "=ybegin part=2 total=3 line=128 size=10 name=a\r\nDATA\r\n",          // no =ypart
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=5 end=11\r\n", // past the end
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=0 end=3\r\n",  // 0 is no offset
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=6 end=4\r\n",  // backwards
        "=ybegin part=x line=128 size=10 name=a\r\n",                          // bad part
        "=ybegin line=128 size=-1 name=a\r\n",                                 // negative size
        "=ybegin part=99999999999 line=128 size=10 name=a\r\n",                // part overflows
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=-1 end=3\r\n", // negative
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=1 end=-1\r\n", // negative end
        "=ybegin part=1 line=128 size=10 name=a\r\n"
        "=ypart begin=1 end=18446744073709551616\r\n",                          // end overflows
        "=ybegin part=1 line=128 size=10 name=a\r\n=ypart begin=11 end=12\r\n", // past size
    };
    for (const std::string& body : bodies) {
        std::string problem;
        EXPECT_FALSE(findYencArticle(body, problem)) << body;
        EXPECT_FALSE(problem.empty()) << body;
    }
}

TEST(OutputName, StripsFoldersAndWhatAFileNameCannotHold) {
    struct Row {
        std::string given;
        std::string safe;
    };
    const std::vector<Row> rows = {
        {"plain.bin", "plain.bin"},
        {"../../x", "x"},
        {"/etc/passwd", "passwd"},
        {"C:\\temp\\..\\evil.exe", "evil.exe"},
        {"dir/", kFallbackName},
        {"..", kFallbackName},
        {".", kFallbackName},
        {"", kFallbackName},
        {"  ", kFallbackName},
        {std::string("a\0b\x01\x7f\nc", 7), "abc"},
        {" spaced name.txt ", "spaced name.txt"},
        {".hidden", ".hidden"},
        {std::string(300, 'n'), std::string(255, 'n')},
    };
    for (const Row& row : rows)
        EXPECT_EQ(safeOutputName(row.given), row.safe) << row.given;
    EXPECT_EQ(safeOutputName("..", "named.bin"), "named.bin");

    EXPECT_EQ(numberedName("file.tar.gz", 2), "file.tar.2.gz");
    EXPECT_EQ(numberedName("README", 1), "README.1");
    EXPECT_EQ(numberedName(".hidden", 1), ".hidden.1");
    std::string longest = numberedName(std::string(251, 'n') + ".bin", 12);
    EXPECT_EQ(longest.size(), 255u);
    EXPECT_EQ(longest.substr(longest.size() - 8), "n.12.bin");
}

TEST(UuDecoder, DecodesDataLinesAndSkipsTheRest) {
    // "Cat" and "dog!" uuencoded, with a header before and the end line after.
    std::string text = "Subject: uu\r\n\r\nbegin 644 pets.txt\r\n#0V%T\r\n$9&]G(0``\r\n`\r\n"
                       "end\r\n.\r\n";
    std::size_t body = 0;
    EXPECT_EQ(findUuBegin(text, body), "pets.txt");
    std::string out;
    EXPECT_TRUE(decodeUuLines(text, body, out));
    EXPECT_EQ(out, "Catdog!");

    std::size_t unused = 0;
    EXPECT_EQ(findUuBegin("begin 6444x name\r\nbegin 64 name\r\n", unused), "");
    EXPECT_EQ(uuContinuationStart("Subject: s\r\nFrom: f\r\n\r\n#0V%T\r\n"), 23u);
    EXPECT_EQ(uuContinuationStart("#0V%T\r\n"), 0u);
    out.clear();
    EXPECT_FALSE(decodeUuLines("#0V%T\r\n", 0, out)) << "no end line yet";
    EXPECT_EQ(out, "Cat");
}

TEST(SegmentPaths, SegmentNumbersInHexadecimalSortInOrder) {
    std::vector<std::string> names = {"/t/1.2.a.segm", "/t/1.2.10.segm", "/t/1.2.9.segm",
                                      "/t/1.2.1.segm", "/t/1.2.ff.segm"};
    std::sort(names.begin(), names.end(), segmentOrderLess);
    EXPECT_EQ(names, (std::vector<std::string>{"/t/1.2.1.segm", "/t/1.2.9.segm", "/t/1.2.a.segm",
                                               "/t/1.2.10.segm", "/t/1.2.ff.segm"}));
}
