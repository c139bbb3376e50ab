#include "par2Repair.h"

#include "TestFolders.h"
#include "childProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = (char)(random() & 0xff);
    return bytes;
}

void flipByte(const std::string& path, size_t offset) {
    std::string bytes = readFile(path);
    bytes[offset] = (char)~bytes[offset];
    writeFile(path, bytes);
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A post's files with a PAR2 set made by the real par2: a.bin (19 blocks of 16 KiB) and
// b.bin (13 blocks), `recovery` blocks in volumes beside set.par2.
class Par2Post {
  public:
    explicit Par2Post(int recovery, size_t bigSize = 0) {
        data["a.bin"] = randomBytes(bigSize ? bigSize : 300000, 1);
        data["b.bin"] = randomBytes(200000, 2);
        for (const auto& [name, bytes] : data)
            writeFile(folder.file(name), bytes);
        std::string blockSize = bigSize ? "-s131072" : "-s16384";
        tchildRun made =
            runChild({tool, "c", "-q", "-q", blockSize, "-c" + std::to_string(recovery), "-n2",
                      "-B" + folder.path, folder.file("set.par2"), folder.file("a.bin"),
                      folder.file("b.bin")});
        EXPECT_EQ(made.exitCode, 0) << made.output;
    }
    std::vector<std::string> files() const {
        std::vector<std::string> paths;
        for (const std::string& name : namesIn(folder.path))
            paths.push_back(folder.file(name));
        return paths;
    }
    bool holdsOriginal(const std::string& name, const std::string& as) const {
        return readFile(folder.file(as)) == data.at(name);
    }

    const std::string tool = findPar2Tool();
    TempFolder folder{"par2_test"};
    std::map<std::string, std::string> data;
};

void noProgress(int) {}

TEST(Par2Repair, ACleanSetIsLeftAsItIsAndMissingOrDamagedBlocksAreRepaired) {
    Par2Post post(6);
    ASSERT_FALSE(post.tool.empty());
    std::string index = post.folder.file("set.par2");
    std::vector<int> shown;
    auto record = [&](int p) { shown.push_back(p); };
    par2Check check = par2Repair(post.tool, index, post.files(), record, nullptr);
    EXPECT_EQ(check.result, par2Check::Intact) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 0);
    EXPECT_TRUE(shown.empty()) << "no progress while par2 only scans";

    flipByte(post.folder.file("b.bin"), 10);
    flipByte(post.folder.file("b.bin"), 100000);
    check = par2Repair(post.tool, index, post.files(), record, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 2);
    EXPECT_EQ(check.recoveryBlocks, 6);
    EXPECT_TRUE(check.misnamed.empty());
    EXPECT_TRUE(post.holdsOriginal("b.bin", "b.bin"));
    EXPECT_TRUE(post.holdsOriginal("a.bin", "a.bin"));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 100);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    // par2's copy of the damaged file goes once the repair holds.
    EXPECT_EQ(namesIn(post.folder.path),
              (std::set<std::string>{"a.bin", "b.bin", "set.par2", "set.vol0+2.par2",
                                     "set.vol2+4.par2"}));
    EXPECT_EQ(par2Repair(post.tool, index, post.files(), noProgress, nullptr).result,
              par2Check::Intact);
}

TEST(Par2Repair, AMissingFileWithEnoughRecoveryIsRestored) {
    Par2Post post(14);
    std::filesystem::remove(post.folder.file("b.bin"));
    std::string index = post.folder.file("set.par2");
    par2Check check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 13);
    EXPECT_EQ(check.restored, std::vector<std::string>{"b.bin"});
    EXPECT_TRUE(post.holdsOriginal("b.bin", "b.bin"));
}

TEST(Par2Repair, TooFewBlocksIsNotRepairableAndTouchesNothing) {
    Par2Post post(2);
    std::filesystem::remove(post.folder.file("set.vol0+1.par2"));
    flipByte(post.folder.file("a.bin"), 5);
    flipByte(post.folder.file("a.bin"), 50000);
    flipByte(post.folder.file("b.bin"), 5);
    std::string index = post.folder.file("set.par2");
    std::string aBefore = readFile(post.folder.file("a.bin"));
    std::set<std::string> before = namesIn(post.folder.path);
    par2Check check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    EXPECT_EQ(check.result, par2Check::NotRepairable) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 3);
    EXPECT_EQ(check.recoveryBlocks, 1);
    EXPECT_EQ(namesIn(post.folder.path), before);
    EXPECT_EQ(readFile(post.folder.file("a.bin")), aBefore);

    // Without any recovery block par2 leaves that line out: still counted, as none.
    std::filesystem::remove(post.folder.file("set.vol1+1.par2"));
    check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    EXPECT_EQ(check.result, par2Check::NotRepairable) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 3);
    EXPECT_EQ(check.recoveryBlocks, 0);
}

TEST(Par2Repair, ObfuscatedNamesAreFoundByContentAndRenamedByTheRepair) {
    Par2Post post(4);
    const std::string& dir = post.folder.path;
    std::filesystem::rename(post.folder.file("a.bin"), post.folder.file("7f3a9c"));
    std::filesystem::rename(post.folder.file("b.bin"), post.folder.file("e01d44"));
    std::filesystem::rename(post.folder.file("set.par2"), post.folder.file("c0ffee"));
    std::filesystem::rename(post.folder.file("set.vol0+2.par2"), post.folder.file("0badf0"));
    std::filesystem::rename(post.folder.file("set.vol2+2.par2"), post.folder.file("9d8e7f"));
    flipByte(post.folder.file("e01d44"), 7);

    std::string index = findPar2Index(post.files());
    EXPECT_EQ(index, post.folder.file("c0ffee"));
    par2Check check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 1);
    EXPECT_EQ(check.recoveryBlocks, 4);
    EXPECT_EQ(check.misnamed, (std::vector<std::pair<std::string, std::string>>{
                                  {post.folder.file("7f3a9c"), "a.bin"}}));
    EXPECT_TRUE(post.holdsOriginal("a.bin", "a.bin"));
    EXPECT_TRUE(post.holdsOriginal("b.bin", "b.bin"));
    // The links handing obfuscated PAR2 files to par2 are gone after the run.
    EXPECT_EQ(namesIn(dir),
              (std::set<std::string>{"a.bin", "b.bin", "e01d44", "c0ffee", "0badf0", "9d8e7f"}));
}

TEST(Par2Repair, OnlyWrongNamesAreRenamedAndAnUnrelatedFileUnderTheNameIsKept) {
    Par2Post post(2);
    std::filesystem::rename(post.folder.file("a.bin"), post.folder.file("renamed.dat"));
    writeFile(post.folder.file("b.bin.1"), "not par2's");
    std::filesystem::rename(post.folder.file("b.bin"), post.folder.file("other"));
    writeFile(post.folder.file("b.bin"), "someone else's file");
    std::string index = post.folder.file("set.par2");
    par2Check check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_EQ(check.damagedBlocks, 0);
    EXPECT_EQ(check.misnamed.size(), 2u);
    EXPECT_TRUE(post.holdsOriginal("a.bin", "a.bin"));
    EXPECT_TRUE(post.holdsOriginal("b.bin", "b.bin"));
    // What stood under the recorded name survives under another one; so does b.bin.1.
    size_t kept = 0;
    for (const std::string& name : namesIn(post.folder.path))
        if (readFile(post.folder.file(name)) == "someone else's file") ++kept;
    EXPECT_EQ(kept, 1u);
    EXPECT_EQ(readFile(post.folder.file("b.bin.1")), "not par2's");
}

TEST(Par2Repair, StopEndsARepairAndTheNextRepairStillSucceeds) {
    // Large enough that par2 reports progress for a while before it is done.
    Par2Post post(24, 16 * 1024 * 1024);
    std::string index = post.folder.file("set.par2");
    for (size_t i = 0; i < 20; ++i)
        flipByte(post.folder.file("a.bin"), 5 + i * 800000);
    std::atomic<bool> stop{false};
    par2Check check = par2Repair(
        post.tool, index, post.files(),
        [&](int percent) {
            if (percent > 0 && percent < 100) stop = true;
        },
        &stop);
    EXPECT_EQ(check.result, par2Check::ToolFailed);
    EXPECT_EQ(check.reason, "stopped");
    // par2 was reaped: this process has no child left.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // par2 had moved the damaged file aside and begun a new one; the blocks of both count.
    check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_TRUE(post.holdsOriginal("a.bin", "a.bin"));
    EXPECT_EQ(namesIn(post.folder.path).size(), 5u);
}

// What a repair killed before it wrote a block leaves: the damaged original moved to
// a.bin.1 and an a.bin without a block of the set. The next repair moves that a.bin aside
// too; neither copy stays, and a copy par2 knows nothing of is kept.
TEST(Par2Repair, ACopyOfWhatAKilledRepairBeganIsRemovedWithTheRest) {
    Par2Post post(4);
    std::filesystem::rename(post.folder.file("a.bin"), post.folder.file("a.bin.1"));
    flipByte(post.folder.file("a.bin.1"), 20000);
    writeFile(post.folder.file("a.bin"), std::string(300000, '\0'));
    writeFile(post.folder.file("b.bin.3"), "kept");
    std::string index = post.folder.file("set.par2");
    par2Check check =
        par2Repair(post.tool, index, {index, post.folder.file("a.bin"), post.folder.file("b.bin")},
                   noProgress, nullptr);
    ASSERT_EQ(check.result, par2Check::Repaired) << check.reason;
    EXPECT_TRUE(post.holdsOriginal("a.bin", "a.bin"));
    EXPECT_EQ(namesIn(post.folder.path),
              (std::set<std::string>{"a.bin", "b.bin", "b.bin.3", "set.par2", "set.vol0+2.par2",
                                     "set.vol2+2.par2"}));
}

TEST(Par2Repair, NoProgramADamagedIndexOrUnknownOutputGiveAReason) {
    Par2Post post(2);
    std::string index = post.folder.file("set.par2");
    EXPECT_EQ(par2Repair(post.tool, "", post.files(), noProgress, nullptr).result,
              par2Check::NoSet);

    TempFolder emptyPath;
    std::string savedPath = getenv("PATH");
    setenv("PATH", emptyPath.path.c_str(), 1);
    std::string missingTool = findPar2Tool();
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(missingTool, "");
    par2Check check = par2Repair(missingTool, index, post.files(), noProgress, nullptr);
    EXPECT_EQ(check.result, par2Check::ToolFailed);
    EXPECT_EQ(check.reason, "par2 not found");
    EXPECT_EQ(par2Repair(emptyPath.file("par2"), index, post.files(), noProgress, nullptr).reason,
              "par2 not found");

    // Programs that answer nothing par2 would: every one a failure with one line.
    struct Row {
        const char* script;
        const char* reason;
    } rows[] = {
        {"echo 'Repair is possible.'; exit 1", "unexpected par2 output: Repair is possible."},
        {"echo garbage; exit 0", "unexpected par2 output: garbage"},
        {"exit 2", "unexpected par2 output"},
        {"echo 'Main packet not found.'; exit 4",
         "par2: PAR2 set unreadable (Main packet not found.)"},
        {"kill -9 $$", "par2 ended abnormally"},
    };
    for (const Row& row : rows) {
        std::string fake = emptyPath.file("fake");
        writeFile(fake, std::string("#!/bin/sh\n") + row.script + "\n");
        chmod(fake.c_str(), 0755);
        check = par2Repair(fake, index, post.files(), noProgress, nullptr);
        EXPECT_EQ(check.result, par2Check::ToolFailed) << row.script;
        EXPECT_EQ(check.reason, row.reason) << row.script;
    }

    // An index that is all garbage, with no volume to take the description from.
    std::string aBefore = readFile(post.folder.file("a.bin"));
    for (const char* name : {"set.vol0+1.par2", "set.vol1+1.par2"})
        std::filesystem::remove(post.folder.file(name));
    writeFile(index, randomBytes(2000, 3));
    check = par2Repair(post.tool, index, post.files(), noProgress, nullptr);
    EXPECT_EQ(check.result, par2Check::ToolFailed);
    EXPECT_EQ(check.reason.rfind("par2: PAR2 set unreadable", 0), 0u) << check.reason;
    EXPECT_EQ(readFile(post.folder.file("a.bin")), aBefore);
}

TEST(Par2Index, FoundByNameThenByContentThenAVolumeStandsIn) {
    Par2Post post(3);
    auto at = [&](const std::string& name) { return post.folder.file(name); };
    EXPECT_EQ(findPar2Index({at("a.bin"), at("set.vol0+1.par2"), at("set.par2")}), at("set.par2"));
    std::filesystem::rename(at("set.par2"), at("SET.PAR2"));
    EXPECT_EQ(findPar2Index({at("set.vol1+2.par2"), at("SET.PAR2")}), at("SET.PAR2"));
    std::filesystem::rename(at("SET.PAR2"), at("x1"));
    std::filesystem::rename(at("set.vol1+2.par2"), at("x2"));
    EXPECT_EQ(findPar2Index({at("a.bin"), at("x2"), at("x1"), at("b.bin")}), at("x1"));
    // No index at all: the smallest volume, named or not.
    EXPECT_EQ(findPar2Index({at("x2"), at("set.vol0+1.par2")}), at("set.vol0+1.par2"));
    EXPECT_EQ(findPar2Index({at("a.bin"), at("b.bin"), at("gone.par2")}), "");
    EXPECT_EQ(findPar2Index({}), "");
}

TEST(Par2Index, Par2FilesAreKnownByNameOrByContent) {
    Par2Post post(3);
    auto at = [&](const std::string& name) { return post.folder.file(name); };
    std::filesystem::rename(at("set.par2"), at("x1"));
    std::filesystem::rename(at("set.vol1+2.par2"), at("x2"));
    for (const char* par2 : {"x1", "x2", "set.vol0+1.par2"})
        EXPECT_TRUE(isPar2File(at(par2))) << par2;
    for (const char* other : {"a.bin", "b.bin", "gone"})
        EXPECT_FALSE(isPar2File(at(other))) << other;
}

int blocksOf(const std::vector<std::pair<int, int>>& volumes, const std::vector<int>& ids) {
    int sum = 0;
    for (int id : ids)
        for (const auto& volume : volumes)
            if (volume.first == id) sum += volume.second;
    return sum;
}

TEST(ChooseRepairVolumes, FewestFilesThenLeastSurplus) {
    using volumeList = std::vector<std::pair<int, int>>;
    auto sorted = [](std::vector<int> ids) {
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    volumeList exponential{{1, 1}, {2, 2}, {3, 4}, {4, 8}, {5, 16}};
    EXPECT_EQ(chooseRepairVolumes(exponential, 8), std::vector<int>{4});
    EXPECT_EQ(chooseRepairVolumes(exponential, 5), std::vector<int>{4});
    EXPECT_EQ(sorted(chooseRepairVolumes(exponential, 17)), (std::vector<int>{1, 5}));
    EXPECT_EQ(sorted(chooseRepairVolumes(exponential, 31)), (std::vector<int>{1, 2, 3, 4, 5}));
    // Taking the largest first would give 6 + 5: two files either way, but 4 surplus.
    volumeList mixed{{10, 4}, {11, 5}, {12, 3}, {13, 6}, {14, 0}};
    EXPECT_EQ(sorted(chooseRepairVolumes(mixed, 7)), (std::vector<int>{10, 12}));
    EXPECT_TRUE(chooseRepairVolumes(exponential, 32).empty());
    EXPECT_TRUE(chooseRepairVolumes({}, 1).empty());
    EXPECT_TRUE(chooseRepairVolumes(exponential, 0).empty());

    // Against every subset, for small random lists.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        volumeList volumes;
        int count = 1 + (int)(random() % 9);
        for (int i = 0; i < count; ++i)
            volumes.push_back({i, 1 + (int)(random() % 20)});
        int need = 1 + (int)(random() % 60);
        size_t bestCount = 99;
        int bestSum = 0;
        for (unsigned mask = 1; mask < (1u << count); ++mask) {
            int sum = 0;
            for (int i = 0; i < count; ++i)
                if (mask & (1u << i)) sum += volumes[(size_t)i].second;
            size_t bits = (size_t)__builtin_popcount(mask);
            if (sum >= need && (bits < bestCount || (bits == bestCount && sum < bestSum))) {
                bestCount = bits;
                bestSum = sum;
            }
        }
        std::vector<int> chosen = chooseRepairVolumes(volumes, need);
        std::set<int> distinct(chosen.begin(), chosen.end());
        EXPECT_EQ(distinct.size(), chosen.size());
        if (bestCount == 99) {
            EXPECT_TRUE(chosen.empty()) << round;
        } else {
            EXPECT_EQ(chosen.size(), bestCount) << round;
            EXPECT_EQ(blocksOf(volumes, chosen), bestSum) << round;
        }
    }
}

} // namespace
