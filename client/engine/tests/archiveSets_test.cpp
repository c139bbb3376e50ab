#include "TestFolders.h"
#include "archiveUnpack.h"

#include <gtest/gtest.h>

namespace {

struct expectedSet {
    std::string kind;
    std::vector<std::string> volumes; // names in the folder
};

class ArchiveSetsTest : public ::testing::Test {
  protected:
    // The sets among `names` (files made in the folder with `content`, unless made before).
    void expectSets(const std::vector<std::string>& names, const std::vector<expectedSet>& sets) {
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            paths.push_back(folder.file(name));
            if (!std::filesystem::exists(paths.back())) writeFile(paths.back(), "content");
        }
        std::vector<archiveSet> found = findArchiveSets(paths);
        ASSERT_EQ(found.size(), sets.size());
        for (std::size_t i = 0; i < sets.size(); ++i) {
            EXPECT_EQ(found[i].kind, sets[i].kind);
            std::vector<std::string> volumes;
            for (const std::string& name : sets[i].volumes)
                volumes.push_back(folder.file(name));
            EXPECT_EQ(found[i].volumes, volumes);
        }
    }

    TempFolder folder{"archive_sets_test"};
};

// A RAR4 archive's first bytes: signature and main header with `flags`.
std::string rar4Start(unsigned flags) {
    return std::string("Rar!\x1a\x07\x00", 7) + std::string("\x00\x00\x73", 3) +
           static_cast<char>(flags & 0xff) + static_cast<char>(flags >> 8) +
           std::string("\x0d\x00\x00\x00\x00\x00\x00\x00", 8);
}

// A RAR5 archive's first bytes: signature and main header with `archiveFlags`.
std::string rar5Start(unsigned archiveFlags) {
    return std::string("Rar!\x1a\x07\x01\x00", 8) + std::string("\x00\x00\x00\x00", 4) +
           std::string("\x03\x01\x00", 3) + static_cast<char>(archiveFlags) +
           std::string("\x01\x00", 2);
}

TEST_F(ArchiveSetsTest, PartVolumesInNumberOrderWhateverThePadding) {
    expectSets({"b.part10.rar", "b.part2.rar", "b.part1.rar", "a.part003.rar", "a.part001.rar",
                "a.part002.rar", "C.PART01.RAR", "C.part02.rar"},
               {{"rar", {"C.PART01.RAR", "C.part02.rar"}},
                {"rar", {"a.part001.rar", "a.part002.rar", "a.part003.rar"}},
                {"rar", {"b.part1.rar", "b.part2.rar", "b.part10.rar"}}});
}

TEST_F(ArchiveSetsTest, OldStyleRarVolumesFollowTheirRar) {
    expectSets({"x.r01", "x.s00", "x.r10", "x.rar", "x.r00", "x.r99"},
               {{"rar", {"x.rar", "x.r00", "x.r01", "x.r10", "x.r99", "x.s00"}}});
    // Without a ".rar" such names mean nothing.
    expectSets({"Show.s01", "y.r00", "y.r01"}, {});
}

TEST_F(ArchiveSetsTest, SevenZipSplitsZipAndWhatIsNoArchive) {
    expectSets({"d.7z.010", "d.7z.002", "d.7z.001", "e.7z", "f.zip", "e.7z.001", "g.zip.001",
                "post.par2", "post.vol00+01.par2", "notes.nfo", "movie.mkv"},
               {{"7z", {"d.7z.001", "d.7z.002", "d.7z.010"}},
                {"7z", {"e.7z"}},
                {"7z", {"e.7z.001"}},
                {"zip", {"f.zip"}},
                {"zip", {"g.zip.001"}}});
}

TEST_F(ArchiveSetsTest, SameNamesInOtherFoldersAreOtherSets) {
    std::filesystem::create_directory(folder.file("sub"));
    expectSets({"sub/a.part1.rar", "a.part1.rar", "sub/a.part2.rar"},
               {{"rar", {"a.part1.rar"}}, {"rar", {"sub/a.part1.rar", "sub/a.part2.rar"}}});
}

TEST_F(ArchiveSetsTest, NamelessFilesAreKnownByTheirFirstBytes) {
    writeFile(folder.file("h7"), std::string("7z\xbc\xaf\x27\x1c\x00\x04", 8));
    writeFile(folder.file("hz"), std::string("PK\x03\x04\x14\x00", 6));
    writeFile(folder.file("r4single"), rar4Start(0x0000));
    writeFile(folder.file("r4first"), rar4Start(0x0101)); // a volume, the first
    writeFile(folder.file("r4later"), rar4Start(0x0001));
    writeFile(folder.file("r5single"), rar5Start(0x00));
    writeFile(folder.file("r5first"), rar5Start(0x01));
    writeFile(folder.file("r5later"), rar5Start(0x03)); // a volume with its number
    writeFile(folder.file("rarpar.par2"), rar4Start(0x0000));
    writeFile(folder.file("short"), "Rar!");
    writeFile(folder.file("empty"), "");
    expectSets({"h7", "hz", "r4single", "r4first", "r4later", "r5single", "r5first", "r5later",
                "rarpar.par2", "short", "empty", "missing"},
               {{"7z", {"h7"}},
                {"zip", {"hz"}},
                {"rar", {"r4first"}},
                {"rar", {"r4single"}},
                {"rar", {"r5first"}},
                {"rar", {"r5single"}}});
}

} // namespace
