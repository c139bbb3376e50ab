// The yydecode program run as the download client runs it, on segment files made by the
// post maker and on hand-made hostile ones.
#include "TestFolders.h"
#include "YencPostWriter.h"
#include "childProcess.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Random data with every byte value and many bytes that encode to '.', so that encoded
// lines start with dots.
std::string testData(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = i < 256      ? static_cast<char>(i)
                  : i % 5 == 0 ? '\x04'
                               : static_cast<char>(random());
    return data;
}

class Yydecode : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        for (const char* name : {"in", "spool", "segm", "out"})
            fs::create_directory(folder.file(name));
    }

    // Posts the files (name, content) and saves their articles as segment files of post 1,
    // file 1, 2, ...; returns what was posted.
    std::vector<PostedFile> post(const std::vector<std::pair<std::string, std::string>>& files,
                                 std::size_t partSize) {
        std::vector<std::string> paths;
        for (const auto& [name, content] : files) {
            writeFile(folder.file("in/" + name), content);
            paths.push_back(folder.file("in/" + name));
        }
        PostOptions options;
        options.spool = folder.file("spool");
        options.partSize = partSize;
        std::vector<PostedFile> posted = makePost(paths, options);
        for (std::size_t i = 0; i < posted.size(); ++i)
            segments.push_back(saveAsSegmentFiles(posted[i], options.spool, folder.file("segm"), 1,
                                                  static_cast<unsigned>(i + 1)));
        return posted;
    }

    tchildRun yydecode(const std::vector<std::string>& inputs,
                       const std::vector<std::string>& options = {}) {
        std::vector<std::string> words = {std::string(CORV_BIN_DIR) + "/yydecode", "-e", "-c",
                                          "-l", "-b"};
        words.insert(words.end(), options.begin(), options.end());
        words.push_back("-D");
        words.push_back(folder.file("out"));
        words.insert(words.end(), inputs.begin(), inputs.end());
        return runChild(words);
    }

    tchildRun yydecodePattern(const std::vector<std::string>& options = {}) {
        return yydecode({folder.file("segm/1.*.*.segm")}, options);
    }


    std::string out(const std::string& name) { return readFile(folder.file("out/" + name)); }

    TempFolder folder{"yydecode_test"};
    std::vector<std::vector<std::string>> segments; // per posted file
};

} // namespace

TEST_F(Yydecode, RoundTripIsByteIdenticalForBinaryAndText) {
    std::string binary = testData(3 * 1000 * 1000 + 17, 1);
    std::string text = "first line\n.starts with a dot\n..two dots\n\ttab\n";
    post({{"random.bin", binary}, {"notes.txt", text}}, 250000);
    ASSERT_EQ(segments[0].size(), 13u);

    tchildRun run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "\"random.bin\" 3000017 bytes, 13 parts, crc ok"))
        << run.output;
    EXPECT_TRUE(contains(run.output, "\"notes.txt\" " + std::to_string(text.size()) +
                                         " bytes, 1 part, crc ok"))
        << run.output;
    EXPECT_EQ(out("random.bin"), binary);
    EXPECT_EQ(out("notes.txt"), text);
    // Only the two files: no hidden work files left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.file("out")), fs::directory_iterator()),
              2);
}

TEST_F(Yydecode, PartsInAnyFileOrderLandAtTheirOffsets) {
    std::string data = testData(700000, 2);
    post({{"shuffled.bin", data}}, 50000);
    // Give the segment files names whose order is reversed, then shuffled.
    std::vector<std::string>& files = segments[0];
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::size_t> order(files.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = order.size() - 1 - i;
        if (pass == 1) std::shuffle(order.begin(), order.end(), std::mt19937(3));
        for (std::size_t i = 0; i < files.size(); ++i)
            fs::rename(files[i], folder.file("segm/tmp." + std::to_string(order[i])));
        for (std::size_t i = 0; i < files.size(); ++i)
            fs::rename(folder.file("segm/tmp." + std::to_string(order[i])), files[order[i]]);
        fs::remove(folder.file("out/shuffled.bin"));
        tchildRun run = yydecodePattern();
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(contains(run.output, "14 parts, crc ok")) << run.output;
        EXPECT_EQ(out("shuffled.bin"), data) << "pass " << pass;
    }
}

TEST_F(Yydecode, DamagedMissingAndRepeatedPartsAreReportedAndTheFileIsStillWritten) {
    std::string data = testData(300000, 4);
    post({{"damaged.bin", data}}, 100000);
    // Flip one plain data character in the middle of part 2.
    std::string second = readFile(segments[0][1]);
    std::size_t at = second.find("=ypart");
    at = second.find("\r\n", at) + 1000;
    while (std::string("=\r\n.").find(second[at]) != std::string::npos)
        ++at;
    second[at] = second[at] == 'a' ? 'b' : 'a';
    writeFile(segments[0][1], second);

    tchildRun run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "\"damaged.bin\" part 2: crc error")) << run.output;
    EXPECT_TRUE(contains(run.output, "1.1.2.segm")) << "the bad segment file is named";
    EXPECT_TRUE(contains(run.output, "\"damaged.bin\" 300000 bytes, 3 parts, crc error"))
        << run.output;
    std::string written = out("damaged.bin");
    ASSERT_EQ(written.size(), data.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        differing += written[i] != data[i];
    EXPECT_EQ(differing, 1u);

    // Part 2 gone, part 3 there twice: the gap stays, at its place.
    fs::remove(segments[0][1]);
    fs::copy_file(segments[0][2], folder.file("segm/1.1.9.segm"));
    fs::remove(folder.file("out/damaged.bin"));
    run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "part 3 twice")) << run.output;
    EXPECT_TRUE(contains(run.output, "incomplete, 2 of 3 parts, 100000 bytes missing"))
        << run.output;
    written = out("damaged.bin");
    ASSERT_EQ(written.size(), data.size());
    EXPECT_EQ(written.substr(0, 100000), data.substr(0, 100000));
    EXPECT_EQ(written.substr(100000, 100000), std::string(100000, '\0'));
    EXPECT_EQ(written.substr(200000), data.substr(200000));
}

TEST_F(Yydecode, LfOnlyLineEndsDecodeAlike) {
    std::string data = testData(120000, 5);
    post({{"unix.bin", data}}, 60000);
    for (const std::string& path : segments[0]) {
        std::string article = readFile(path);
        std::string lfOnly;
        for (std::size_t i = 0; i < article.size(); ++i)
            if (!(article[i] == '\r' && i + 1 < article.size() && article[i + 1] == '\n'))
                lfOnly += article[i];
        writeFile(path, lfOnly);
    }
    tchildRun run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "2 parts, crc ok")) << run.output;
    EXPECT_EQ(out("unix.bin"), data);
}

TEST_F(Yydecode, HostileNamesStayInsideTheOutputFolder) {
    // "hello" encoded is "\x92\x8f\x96\x96\x99".
    auto article = [](const std::string& name) {
        return "Subject: x\r\n\r\n=ybegin line=128 size=5 name=" + name +
               "\r\n\x92\x8f\x96\x96\x99\r\n=yend size=5 crc32=3610a686\r\n.\r\n";
    };
    writeFile(folder.file("segm/1.1.1.segm"), article("../../escaped"));
    writeFile(folder.file("segm/1.2.1.segm"), article(".."));
    writeFile(folder.file("segm/1.3.1.segm"), article("linked"));
    // An existing link in the output folder must not lead the write outside.
    writeFile(folder.file("outside"), "keep me");
    fs::create_symlink(folder.file("outside"), folder.file("out/linked"));

    tchildRun run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(out("escaped"), "hello");
    EXPECT_EQ(out("yydecode.out"), "hello");
    EXPECT_FALSE(fs::exists(folder.file("escaped")));
    EXPECT_FALSE(fs::exists(fs::path(folder.path).parent_path() / "escaped"));
    EXPECT_EQ(readFile(folder.file("outside")), "keep me");
    // The link is kept as it is; the decoded file takes a free name beside it.
    EXPECT_TRUE(fs::is_symlink(folder.file("out/linked")));
    EXPECT_EQ(out("linked.1"), "hello");
    EXPECT_TRUE(contains(run.output, "\"escaped\" 5 bytes, 1 part, crc ok")) << run.output;
}

TEST_F(Yydecode, UuArticlesAreJoinedInSegmentOrder) {
    // "Catdog!" over two articles, each with a header, the second ending the file.
    writeFile(folder.file("segm/1.1.1.segm"),
              "From: a\r\nSubject: pets\r\n\r\nbegin 644 dir/pets.txt\r\n#0V%T\r\n.\r\n");
    writeFile(folder.file("segm/1.1.2.segm"),
              "From: a\r\nSubject: pets\r\n\r\n$9&]G(0``\r\n`\r\nend\r\n.\r\n");
    tchildRun run = yydecodePattern();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(out("pets.txt"), "Catdog!");
    EXPECT_TRUE(contains(run.output, "\"pets.txt\" 7 bytes, 2 parts, uu")) << run.output;
}

TEST_F(Yydecode, NothingToDecodeExitsWithFailure) {
    tchildRun none = yydecodePattern();
    EXPECT_NE(none.exitCode, 0);
    EXPECT_TRUE(contains(none.output, "no files match")) << none.output;

    writeFile(folder.file("segm/1.1.1.segm"), "From: a\r\n\r\njust text\r\n.\r\n");
    tchildRun text = yydecodePattern();
    EXPECT_NE(text.exitCode, 0);
    EXPECT_TRUE(contains(text.output, "no yEnc or UU data")) << text.output;

    tchildRun noFolder = runChild({std::string(CORV_BIN_DIR) + "/yydecode", "-D",
                                   folder.file("missing/deeper"), folder.file("segm/*.segm")});
    EXPECT_NE(noFolder.exitCode, 0);
    EXPECT_TRUE(contains(noFolder.output, "cannot open the output folder")) << noFolder.output;
}

TEST_F(Yydecode, ArticlesCutShortAnywhereNeverCrashIt) {
    std::string data = testData(20000, 6);
    post({{"cut.bin", data}}, 20000);
    const std::string article = readFile(segments[0][0]);
    const std::size_t body = article.find("=ypart");
    const std::vector<std::size_t> cuts = {0,
                                           10,
                                           article.find("=ybegin") + 9,
                                           body + 3,
                                           body + 40,
                                           article.size() / 2,
                                           article.size() - 60,
                                           article.size() - 5};
    for (std::size_t cut : cuts) {
        writeFile(segments[0][0], article.substr(0, cut));
        tchildRun run = yydecodePattern();
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << "cut at " << cut << run.output;
        if (run.exitCode == 0) {
            EXPECT_TRUE(contains(run.output, "\"cut.bin\"")) << run.output;
            EXPECT_LE(out("cut.bin").size(), data.size());
        }
    }
}

TEST_F(Yydecode, AWriteThatFailsLeavesTheEarlierFileAsItWas) {
    std::string data = testData(300000, 7);
    std::string small = testData(20000, 8);
    post({{"big.bin", data}, {"small.bin", small}}, 100000);
    writeFile(folder.file("out/big.bin"), "the earlier download");
    writeFile(folder.file("out/small.bin"), "another earlier download");
    // A file size limit, handed down to the child, stands in for a full disk: writes past
    // it fail.
    struct rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    struct rlimit limited = previous;
    limited.rlim_cur = 150000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    tchildRun run = yydecodePattern();
    setrlimit(RLIMIT_FSIZE, &previous);

    // A file that fits is written, yet the run fails: the segment files must stay.
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "\"big.bin\": write failed")) << run.output;
    EXPECT_TRUE(contains(run.output, "\"big.bin\": not written")) << run.output;
    EXPECT_TRUE(contains(run.output, "1 files not written")) << run.output;
    EXPECT_EQ(out("big.bin"), "the earlier download");
    EXPECT_EQ(out("small.bin"), "another earlier download");
    EXPECT_EQ(out("small.1.bin"), small);
    EXPECT_TRUE(contains(run.output, "\"small.bin\" exists and is kept; written as \"small.1.bin\""))
        << run.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.file("out")), fs::directory_iterator()),
              3)
        << "the half-written file is removed";
}

// Articles as real posters write them, each decoded to exact bytes. "hello" encoded is
// "\x92\x8f\x96\x96\x99", its CRC-32 3610a686.
TEST_F(Yydecode, ArticlesAsRealPostersWriteThem) {
    // One article of "hello" with the given keyword lines, decoded alone; the report.
    auto decodeOne = [&](const std::string& header, const std::string& trailer,
                         const std::vector<std::string>& options = {}) {
        fs::remove_all(folder.file("segm"));
        fs::create_directory(folder.file("segm"));
        writeFile(folder.file("segm/1.1.1.segm"), "Subject: x\r\n\r\n" + header +
                                                      "\r\n\x92\x8f\x96\x96\x99\r\n" + trailer +
                                                      "\r\n.\r\n");
        tchildRun run = yydecodePattern(options);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.output;
    };

    // No name, or an empty one: the name the client passes, else the fixed fallback.
    std::string report = decodeOne("=ybegin line=128 size=5", "=yend size=5 crc32=3610a686",
                                   {"-n", "from the database.bin"});
    EXPECT_EQ(out("from the database.bin"), "hello");
    EXPECT_TRUE(contains(report, "\"from the database.bin\" 5 bytes, 1 part, crc ok")) << report;
    decodeOne("=ybegin line=128 size=5 name=", "=yend size=5 crc32=3610a686");
    EXPECT_EQ(out("yydecode.out"), "hello");

    // A CRC of more than 8 hex digits: its low 32 bits.
    report = decodeOne("=ybegin part=1 total=1 line=128 size=5 name=long.crc\r\n"
                       "=ypart begin=1 end=5",
                       "=yend size=5 part=1 pcrc32=ffffffff3610a686 crc32=000000003610a686");
    EXPECT_EQ(out("long.crc"), "hello");
    EXPECT_TRUE(contains(report, "\"long.crc\" 5 bytes, 1 part, crc ok")) << report;

    // A size no part can cover: the file ends with the data, not at the claim.
    report = decodeOne("=ybegin line=128 size=1099511627776 name=huge", "=yend size=5");
    EXPECT_EQ(fs::file_size(folder.file("out/huge")), 5u);
    EXPECT_EQ(out("huge"), "hello");
    EXPECT_TRUE(contains(report, "\"huge\": size 1099511627776 declared, parts end at 5"))
        << report;
    // The last part missing: the file ends with the last part present.
    report = decodeOne("=ybegin part=1 line=128 size=10 name=first.half\r\n=ypart begin=1 end=5",
                       "=yend size=5 part=1 pcrc32=3610a686");
    EXPECT_EQ(out("first.half"), "hello");
    EXPECT_TRUE(contains(report, "incomplete, 1 part, 5 bytes missing")) << report;

    // A second "=ybegin", and "=ypart" in a single-part article, are no data.
    decodeOne("=ybegin line=128 size=5 name=twice\r\n=ybegin line=128 size=5 name=twice",
              "=yend size=5 crc32=3610a686");
    EXPECT_EQ(out("twice"), "hello");
    decodeOne("=ybegin line=128 size=5 name=stray\r\n=ypart begin=1 end=5",
              "=yend size=5 crc32=3610a686");
    EXPECT_EQ(out("stray"), "hello");

    // A name that is taken in the folder: the file there stays, the new one is numbered.
    writeFile(folder.file("out/taken.txt"), "earlier");
    writeFile(folder.file("out/taken.1.txt"), "earlier too");
    report = decodeOne("=ybegin line=128 size=5 name=taken.txt", "=yend size=5 crc32=3610a686");
    EXPECT_EQ(out("taken.txt"), "earlier");
    EXPECT_EQ(out("taken.1.txt"), "earlier too");
    EXPECT_EQ(out("taken.2.txt"), "hello");
    EXPECT_TRUE(contains(report, "\"taken.txt\" exists and is kept; written as \"taken.2.txt\""))
        << report;
}
