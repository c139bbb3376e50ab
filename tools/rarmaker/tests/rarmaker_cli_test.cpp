// The rarmaker command line: what it writes, and how it answers a wrong one.
#include "ArchiveReadBack.h"
#include "RandomBytes.h"
#include "TestFolders.h"
#include "childProcess.h"

#include <gtest/gtest.h>

namespace {

tchildRun rarmaker(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {std::string(CORV_BIN_DIR) + "/rarmaker"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runChild(words);
}

TEST(RarmakerCommand, WritesOldStyleVolumesWithRenamedEntriesAndALink) {
    TempFolder folder("rarmaker_cli");
    std::string data = randomBytes(5000, 5);
    writeFile(folder.file("input.bin"), data);
    tchildRun run =
        rarmaker({"--format", "4", "--naming", "old", "--volume-size", "2000",
                  folder.file("set.rar"), "--name-as", "../escape", folder.file("input.bin"),
                  "--symlink", "lnk=/etc", folder.file("input.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::vector<std::string> volumes = {folder.file("set.rar"), folder.file("set.r00"),
                                        folder.file("set.r01"), folder.file("set.r02"),
                                        folder.file("set.r03"), folder.file("set.r04")};
    std::string listed;
    for (const std::string& volume : volumes)
        listed += volume + "\n";
    EXPECT_EQ(run.output, listed);
    ReadBack read = readBack(volumes);
    EXPECT_EQ(read.error, "");
    ASSERT_EQ(read.entries.size(), 3u);
    EXPECT_EQ(read.entries[0].name, "../escape");
    EXPECT_EQ(read.entries[0].bytes, data);
    EXPECT_EQ(read.entries[1].linkTarget, "/etc");
    EXPECT_EQ(read.entries[2].name, "input.bin");
    EXPECT_EQ(read.entries[2].bytes, data);
}

TEST(RarmakerCommand, AWrongCommandLineIsToldAndWritesNothing) {
    TempFolder folder("rarmaker_cli");
    writeFile(folder.file("in"), "x");
    std::string in = folder.file("in"), out = folder.file("out"), missing = folder.file("missing");
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says;
    };
    const Case cases[] = {
        {{"--format", "3", out, in}, 2, "bad option --format 3"},
        {{"--volume-size", "-5", out, in}, 2, "bad option --volume-size -5"},
        {{out}, 2, "needs an OUTPUT and at least one FILE"},
        {{out, in, "--name-as", "x"}, 2, "--name-as x is not followed by a file"},
        {{out, "--symlink", "nolink"}, 2, "bad option --symlink nolink"},
        {{out, missing}, 1, "cannot read '" + missing + "'"},
        {{"--volume-size", "30", out, in}, 1, "volume size 30 cannot hold the headers of 'in'"},
        {{"--naming", "old", "--volume-size", "900", out, in}, 1, "for RAR4 sets only"},
    };
    for (const Case& wrong : cases) {
        tchildRun run = rarmaker(wrong.arguments);
        EXPECT_EQ(run.exitCode, wrong.exitCode) << run.output;
        EXPECT_NE(run.output.find(wrong.says), std::string::npos) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.rar")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.part1.rar")));
}

} // namespace
