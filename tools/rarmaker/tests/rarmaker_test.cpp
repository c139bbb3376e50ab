// Stored RAR sets written by rarmaker, read back by libarchive and walked header by header.
#include "ArchiveReadBack.h"
#include "HeaderWalk.h"
#include "RandomBytes.h"
#include "RarSetWriter.h"
#include "TestFolders.h"
#include "VolumeNames.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <map>

namespace {

struct SetForm {
    const char* label;
    RarSetOptions options;
};

const SetForm forms[] = {
    {"Rar5Single", {RarFormat::rar5, 0, RarNaming::part}},
    {"Rar5PartVolumes", {RarFormat::rar5, 40000, RarNaming::part}},
    {"Rar4Single", {RarFormat::rar4, 0, RarNaming::part}},
    {"Rar4PartVolumes", {RarFormat::rar4, 40000, RarNaming::part}},
    {"Rar4OldVolumes", {RarFormat::rar4, 40000, RarNaming::old}},
};

// The entries' data joined from the walked volumes, checking on the way the split flags,
// every data CRC and the more-volumes flags; `volumesOf` counts the volumes of each entry.
std::map<std::string, std::string> joinWalked(const std::vector<WalkedVolume>& walked,
                                              std::map<std::string, int>& volumesOf) {
    std::map<std::string, std::string> joined;
    for (std::size_t v = 0; v < walked.size(); ++v) {
        bool last = v + 1 == walked.size();
        EXPECT_EQ(walked[v].endFlags & 1, last ? 0u : 1u) << "more-volumes flag of volume " << v;
        for (const WalkedPart& part : walked[v].parts) {
            EXPECT_EQ(part.splitBefore, joined.count(part.name) == 1) << part.name << " in " << v;
            joined[part.name] += part.data;
            ++volumesOf[part.name];
            // a part followed by more carries its own CRC, the last one the whole entry's
            std::string covered = part.splitAfter ? part.data : joined[part.name];
            EXPECT_EQ(part.crcField, crcOf(covered)) << part.name << " in volume " << v;
        }
    }
    return joined;
}

// Where libarchive 3.6.2 follows a set to its end. RAR5: it looks for the next volume's
// signature with a 512-byte read ahead, so less than that after the last end header fails.
// RAR4: it goes on into the next volume only from an entry that continues there, and ends
// quietly at any other volume end.
bool libarchiveFollows(const std::vector<std::string>& volumes,
                       const std::vector<WalkedVolume>& walked, RarFormat format) {
    if (format == RarFormat::rar5)
        return volumes.size() == 1 || std::filesystem::file_size(volumes.back()) >= 512;
    for (std::size_t v = 0; v + 1 < walked.size(); ++v)
        if (walked[v].parts.empty() || !walked[v].parts.back().splitAfter) return false;
    return true;
}

class EveryForm : public testing::TestWithParam<SetForm> {
  protected:
    // A file spanning three volumes (or more), an empty file and a small one from memory.
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        writeFile(folder.file("spanning.bin"), randomBytes(100000, 1));
        writeFile(folder.file("empty"), "");
        entries = {fileEntry(folder.file("spanning.bin")),
                   fileEntry(folder.file("empty"), "dir/zero"),
                   bytesEntry("notes.txt", randomBytes(5000, 2))};
        expected = {{"spanning.bin", randomBytes(100000, 1)},
                    {"dir/zero", ""},
                    {"notes.txt", randomBytes(5000, 2)}};
    }

    std::vector<WalkedVolume> walk(const std::vector<std::string>& volumes) const {
        std::vector<WalkedVolume> walked;
        for (const std::string& volume : volumes)
            walked.push_back(GetParam().options.format == RarFormat::rar5
                                 ? walkRar5(readFile(volume))
                                 : walkRar4(readFile(volume)));
        return walked;
    }

    TempFolder folder{"rarmaker_test"};
    std::vector<RarEntry> entries;
    std::map<std::string, std::string> expected;
};

TEST_P(EveryForm, LibarchiveReadsBackEveryByte) {
    std::vector<std::string> volumes = writeRarSet(folder.file("set"), entries, GetParam().options);
    ReadBack read = readBack(volumes);
    EXPECT_EQ(read.error, "");
    ASSERT_EQ(read.entries.size(), expected.size());
    for (const ReadEntry& entry : read.entries) {
        ASSERT_TRUE(expected.count(entry.name)) << entry.name;
        EXPECT_EQ(entry.bytes, expected[entry.name]) << entry.name;
    }
}

TEST_P(EveryForm, VolumesKeepTheirSizeAndSplitFlagsAndCrcsAgree) {
    const RarSetOptions& options = GetParam().options;
    std::vector<std::string> volumes = writeRarSet(folder.file("set"), entries, options);
    if (options.volumeSize == 0) {
        EXPECT_EQ(volumes, std::vector<std::string>{folder.file("set.rar")});
    } else {
        ASSERT_GE(volumes.size(), 3u);
        for (const std::string& volume : volumes)
            EXPECT_LE(std::filesystem::file_size(volume), options.volumeSize) << volume;
    }
    std::map<std::string, int> volumesOf;
    EXPECT_EQ(joinWalked(walk(volumes), volumesOf), expected);
    if (options.volumeSize != 0) {
        EXPECT_GE(volumesOf["spanning.bin"], 3);
    }
}

TEST_P(EveryForm, MainHeadersNumberTheVolumes) {
    const RarSetOptions& options = GetParam().options;
    std::vector<WalkedVolume> walked = walk(writeRarSet(folder.file("set"), entries, options));
    for (std::size_t v = 0; v < walked.size(); ++v) {
        std::uint64_t flags = walked[v].mainFlags;
        bool isVolume = options.volumeSize != 0;
        EXPECT_EQ(flags & 1, isVolume ? 1u : 0u) << v;
        if (options.format == RarFormat::rar5) {
            EXPECT_EQ(walked[v].volumeNumber, v);
        } else if (isVolume) {
            EXPECT_EQ((flags & 0x100) != 0, v == 0) << "first-volume flag of volume " << v;
            EXPECT_EQ((flags & 0x10) != 0, options.naming == RarNaming::part) << v;
        }
    }
}

TEST_P(EveryForm, HostileNamesAndALinkArePutAsGiven) {
    // libarchive turns RAR4 names into the locale's characters: say UTF-8, as a desktop does
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<RarEntry> hostile = {bytesEntry("/etc/x", "a"), bytesEntry("../x", "b"),
                                     linkEntry("lnk", "/etc"), bytesEntry("lnk/passwd", "c"),
                                     bytesEntry("caf\xc3\xa9", "d")};
    ReadBack read = readBack(writeRarSet(folder.file("hostile"), hostile, GetParam().options));
    EXPECT_EQ(read.error, "");
    ASSERT_EQ(read.entries.size(), hostile.size());
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_EQ(read.entries[i].name, hostile[i].name);
        EXPECT_EQ(read.entries[i].isLink, hostile[i].isLink()) << hostile[i].name;
        EXPECT_EQ(read.entries[i].linkTarget, hostile[i].linkTarget);
        if (!hostile[i].isLink()) {
            EXPECT_EQ(read.entries[i].bytes, hostile[i].bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rarmaker, EveryForm, testing::ValuesIn(forms),
                         [](const testing::TestParamInfo<SetForm>& info) {
                             return info.param.label;
                         });

// Every volume size from too small for the headers up: the room left for data is never
// off by one, no volume is over its size or without a part, and the set reads back.
TEST_P(EveryForm, EveryVolumeSizeFromTheSmallestUpHoldsTheEntries) {
    const RarSetOptions& options = GetParam().options;
    if (options.volumeSize == 0) GTEST_SKIP() << "one archive";
    std::vector<RarEntry> small = {bytesEntry("a", randomBytes(1500, 8)), bytesEntry("empty", ""),
                                   bytesEntry("b", randomBytes(40, 9))};
    std::map<std::string, std::string> contents = {
        {"a", small[0].bytes}, {"empty", ""}, {"b", small[2].bytes}};
    int written = 0, readByLibarchive = 0;
    for (std::uint64_t size = 40; size <= 1000; ++size) {
        RarSetOptions sized = options;
        sized.volumeSize = size;
        std::vector<std::string> volumes;
        try {
            volumes = writeRarSet(folder.file("sweep"), small, sized);
        } catch (const std::invalid_argument&) {
            ASSERT_EQ(written, 0) << "refused " << size << " after a smaller size worked";
            continue;
        }
        ++written;
        std::vector<WalkedVolume> walked = walk(volumes);
        for (std::size_t v = 0; v < volumes.size(); ++v) {
            ASSERT_LE(std::filesystem::file_size(volumes[v]), size) << volumes[v];
            ASSERT_FALSE(walked[v].parts.empty()) << volumes[v] << " of size " << size;
        }
        std::map<std::string, int> volumesOf;
        ASSERT_EQ(joinWalked(walked, volumesOf), contents) << "volume size " << size;
        if (libarchiveFollows(volumes, walked, options.format)) {
            ++readByLibarchive;
            ReadBack read = readBack(volumes);
            ASSERT_EQ(read.error, "") << "volume size " << size;
            ASSERT_EQ(read.entries.size(), 3u) << size;
            ASSERT_EQ(read.entries[0].bytes, small[0].bytes) << size;
            ASSERT_EQ(read.entries[2].bytes, small[2].bytes) << size;
        }
        for (const std::string& volume : volumes)
            std::filesystem::remove(volume);
    }
    EXPECT_GT(written, 900);
    EXPECT_GT(readByLibarchive, 100);
}

TEST(VolumeNames, NumberAsWideAsTheCountNeeds) {
    RarSetOptions part{RarFormat::rar5, 1000, RarNaming::part};
    RarSetOptions old{RarFormat::rar4, 1000, RarNaming::old};
    RarSetOptions single{RarFormat::rar4, 0, RarNaming::old};
    EXPECT_EQ(volumeNames("d/s", 1, single), std::vector<std::string>{"d/s.rar"});
    EXPECT_EQ(volumeNames("s", 3, part),
              (std::vector<std::string>{"s.part1.rar", "s.part2.rar", "s.part3.rar"}));
    std::vector<std::string> twelve = volumeNames("s", 12, part);
    EXPECT_EQ(twelve.front(), "s.part01.rar");
    EXPECT_EQ(twelve.back(), "s.part12.rar");
    EXPECT_EQ(volumeNames("s", 100, part)[0], "s.part001.rar");
    std::vector<std::string> olds = volumeNames("s", 102, old);
    EXPECT_EQ(olds[0], "s.rar");
    EXPECT_EQ(olds[1], "s.r00");
    EXPECT_EQ(olds[100], "s.r99");
    EXPECT_EQ(olds[101], "s.s00");
    EXPECT_THROW(volumeNames("s", 902, old), std::invalid_argument);
}

TEST(RarSetWriter, TwelveVolumesReadBackInOrder) {
    TempFolder folder("rarmaker_test");
    std::string data = randomBytes(11 * 3100, 3); // 11 volumes' worth with their headers: 12
    RarSetOptions options{RarFormat::rar5, 3100, RarNaming::part};
    std::vector<std::string> volumes =
        writeRarSet(folder.file("s"), {bytesEntry("d", data)}, options);
    ASSERT_EQ(volumes.size(), 12u);
    EXPECT_EQ(volumes[0], folder.file("s.part01.rar"));
    ReadBack read = readBack(volumes);
    EXPECT_EQ(read.error, "");
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].bytes, data);
}

TEST(RarSetWriter, RefusesWhatCannotWorkAndLeavesNoVolumes) {
    TempFolder folder("rarmaker_test");
    std::vector<RarEntry> one = {bytesEntry("x", "abc")};
    try {
        writeRarSet(folder.file("s"), one, {RarFormat::rar5, 40, RarNaming::part});
        ADD_FAILURE() << "a 40-byte volume cannot hold the headers";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("cannot hold the headers of 'x'"),
                  std::string::npos);
    }
    EXPECT_THROW(writeRarSet(folder.file("s"), one, {RarFormat::rar5, 1000, RarNaming::old}),
                 std::invalid_argument);
    EXPECT_THROW(writeRarSet(folder.file("s"), {}, {}), std::invalid_argument);
    EXPECT_THROW(writeRarSet(folder.file("s"), {bytesEntry("", "a")}, {}), std::invalid_argument);
    try {
        fileEntry(folder.file("missing"));
        ADD_FAILURE() << "a missing input is refused";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(folder.file("missing")), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
}

TEST(RarSetWriter, AnInputThatFailsMidwayRemovesTheVolumesAlreadyWritten) {
    TempFolder folder("rarmaker_test");
    std::filesystem::create_directory(folder.file("in"));
    RarEntry unreadable;
    unreadable.name = "unreadable";
    unreadable.path = folder.file("in"); // a folder: its size is known, reading it fails
    std::vector<RarEntry> entries = {bytesEntry("first", randomBytes(3000, 4)), unreadable};
    try {
        writeRarSet(folder.file("s"), entries, {RarFormat::rar4, 1000, RarNaming::old});
        ADD_FAILURE() << "reading a folder as data fails";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("cannot read '" + folder.file("in") + "'"),
                  std::string::npos)
            << error.what();
    }
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(folder.path))
        left.push_back(item.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"in"});
}

} // namespace
