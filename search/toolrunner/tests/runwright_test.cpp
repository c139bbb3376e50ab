#include "CConsoleProcess.h"
#include "CPar2Exe.h"
#include "CRunwright.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class RunwrightTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(temp.path.empty()); }
    void TearDown() override {
        if (!savedPath.empty()) setenv("PATH", savedPath.c_str(), 1);
    }
    // Writes `content` gzip-compressed (by the real gzip) into `path`.
    void writeCompressed(const fs::path& path, const std::string& content) {
        fs::path plain = dir / "plain.tmp";
        std::ofstream(plain, std::ios::binary) << content;
        CConsoleProcess process;
        std::string output;
        int error = -1;
        process.executeProcess({CConsoleProcess::locateTool("gzip"), "-n", plain.string()}, output,
                               error);
        ASSERT_EQ(error, 0) << output;
        fs::rename(dir / "plain.tmp.gz", path);
    }
    // A fake tool, first on PATH, that records its arguments one per line and prints
    // `lastLine` after a first line.
    void installFakeTool(const std::string& name, const std::string& lastLine) {
        fs::create_directories(dir / "bin");
        fs::path tool = dir / "bin" / name;
        std::ofstream(tool) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '"
                            << (dir / "args.txt").string() << "'\necho first line\necho '"
                            << lastLine << "'\n";
        chmod(tool.c_str(), 0755);
        if (savedPath.empty()) savedPath = getenv("PATH");
        setenv("PATH", ((dir / "bin").string() + ":" + savedPath).c_str(), 1);
    }
    TempFolder temp{"runwright"};
    fs::path dir = temp.path;
    std::string savedPath;
};

} // namespace

TEST_F(RunwrightTest, GzipDecompressesInPlaceAndDropsTheExtension) {
    std::string page(50000, 'p');
    struct Row {
        const char* name;
        const char* result;
    } rows[] = {
        {"lumo0000.htm", "lumo0000"},
        {"my 'odd\" page.htm", "my 'odd\" page"},
        {"-dash.htm", "-dash"},
    };
    for (const Row& row : rows) {
        writeCompressed(dir / row.name, page);
        CRunwright::gzip((dir / row.name).c_str(), nullptr, nullptr);
        EXPECT_FALSE(fs::exists(dir / row.name)) << row.name;
        EXPECT_EQ(readFile(dir / row.result), page) << row.name;
    }
}

TEST_F(RunwrightTest, GzipLeavesAFileWithoutExtensionAlone) {
    fs::create_directories(dir / "with.dot");
    writeCompressed(dir / "with.dot" / "noext", "data");
    std::string before = readFile(dir / "with.dot" / "noext");
    CRunwright::gzip((dir / "with.dot" / "noext").c_str());
    EXPECT_EQ(readFile(dir / "with.dot" / "noext"), before);
    EXPECT_TRUE(fs::exists(dir / "with.dot"));
    CRunwright::gzip(nullptr);
}

TEST_F(RunwrightTest, ExecuteProcessReturnsTheLastLine) {
    struct Row {
        const char* script;
        const char* output;
        const char* lastLine; // null: none
    } rows[] = {
        {"printf 'one\\ntwo\\n'", "one\ntwo", "two"},
        {"printf 'one\\ntwo'", "one\ntwo", "two"},
        {"printf 'single'", "single", nullptr},
        {"printf 'single\\n'", "single", nullptr},
        {"true", "", nullptr},
        {"echo out; echo err >&2", "out\nerr", "err"},
    };
    for (const Row& row : rows) {
        CConsoleProcess process;
        std::string output;
        int error = -1;
        const char* last = process.executeProcess({"/bin/sh", "-c", row.script}, output, error);
        EXPECT_EQ(error, 0) << row.script;
        EXPECT_EQ(output, row.output) << row.script;
        if (row.lastLine) {
            ASSERT_NE(last, nullptr) << row.script;
            EXPECT_STREQ(last, row.lastLine);
        } else {
            EXPECT_EQ(last, nullptr) << row.script;
        }
    }
}

TEST_F(RunwrightTest, ExecuteProcessCapturesLongOutputWholeAndInOrder) {
    CConsoleProcess process;
    std::string output;
    int error = -1;
    const char* last = process.executeProcess({"/usr/bin/seq", "1", "30000"}, output, error);
    std::string expected;
    for (int i = 1; i <= 30000; ++i)
        expected += std::to_string(i) + "\n";
    expected.pop_back();
    EXPECT_EQ(output, expected);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last, "30000");
}

TEST_F(RunwrightTest, ChildRunsIdleWithoutInputOrInheritedDescriptors) {
    int stray = open("/dev/null", O_RDONLY); // opened without close-on-exec
    ASSERT_GE(stray, 0);
    ASSERT_EQ(dup2(stray, 50), 50);
    CConsoleProcess process;
    std::string output;
    int error = -1;
    // Field 41 of /proc/<pid>/stat is the scheduling policy; 5 is SCHED_IDLE.
    process.executeProcess({"/bin/sh", "-c",
                            "cut -d' ' -f41 /proc/$$/stat; cat; "
                            "test -e /proc/$$/fd/50 && echo leaked || echo clean"},
                           output, error);
    close(50);
    close(stray);
    EXPECT_EQ(output, "5\nclean");
}

TEST_F(RunwrightTest, MissingToolReportsTheErrorAndReadsNothing) {
    CConsoleProcess process;
    std::string output = "stale";
    int error = 0;
    EXPECT_EQ(process.executeProcess({(dir / "nothere").string()}, output, error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(output, "");
    EXPECT_EQ(CConsoleProcess::locateTool("no-such-tool-anywhere"), "");
    EXPECT_NE(CConsoleProcess::locateTool("gzip"), "");
}

TEST_F(RunwrightTest, Par2AndUnrarPassTheirCommandLines) {
    installFakeTool("par2", "You need 5 more recovery blocks to be able to repair.");
    CRunwright::par2("set.par2", nullptr);
    EXPECT_EQ(readFile(dir / "args.txt"), "v\n-q\nset.par2\n");
    CRunwright::par2("set.par2", "file one.rar");
    EXPECT_EQ(readFile(dir / "args.txt"), "v\n-q\nset.par2\nfile one.rar\n");

    installFakeTool("unrar", "All OK");
    CRunwright::unrar("-archive.rar", "");
    EXPECT_EQ(readFile(dir / "args.txt"), "x\n-y\n./-archive.rar\n");
}

TEST(CPar2ExeTest, ParsesTheLastLineByMode) {
    CPar2Exe needed(CPar2Exe::modeNeeded);
    needed.parseResponse("You need 5 more recovery blocks to be able to repair.");
    EXPECT_EQ(needed.blocksNeeded(), 5);
    needed.parseResponse("Repair is not required.");
    EXPECT_EQ(needed.blocksNeeded(), 0);
    needed.parseResponse(nullptr);
    EXPECT_EQ(needed.blocksNeeded(), 0);

    CPar2Exe missing(CPar2Exe::modeMissing);
    missing.parseResponse("You need 3 more");
    EXPECT_EQ(missing.blocksMissing(), -3);

    CPar2Exe total(CPar2Exe::modeTotal);
    total.parseResponse("You need 2 more");
    total.parseResponse("You need 4 more");
    EXPECT_EQ(total.runningTotal(), -6);

    CPar2Exe other(7);
    other.parseResponse("You need 9 more");
    EXPECT_EQ(other.blocksNeeded(), 0);
    EXPECT_EQ(other.blocksMissing(), 0);
    EXPECT_EQ(other.runningTotal(), 0);
}
