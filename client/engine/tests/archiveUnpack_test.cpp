#include "RandomBytes.h"
#include "TestArchive.h"
#include "TestFolders.h"
#include "archiveUnpack.h"
#include "cStagingFolder.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

// Every path below `folder`, links not followed.
std::set<std::string> treeOf(const std::string& folder) {
    std::set<std::string> paths;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(folder, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        paths.insert(it->path().lexically_relative(folder).string());
    return paths;
}

class UnpackTest : public ::testing::Test {
  protected:
    // The archives lie in `root`, the target is "<root>/post": anything an archive could
    // reach outside the target shows up in `root`.
    std::string archive(const std::string& name) const { return root.file(name); }
    std::string target() const { return root.file("post"); }

    unpackResult unpack(const archiveSet& set, const std::string& password = "") {
        percents.clear();
        return unpackArchive(
            set, target(), password, [this](int percent) { percents.push_back(percent); }, nullptr);
    }

    // The target holds nothing the failed set wrote, the root nothing but the archives.
    void expectNothingLeft(const std::set<std::string>& before) {
        EXPECT_EQ(treeOf(root.path), before);
        EXPECT_FALSE(fs::exists(target() + "/" + cStagingFolder::kName));
    }

    TempFolder root{"unpack_test"};
    std::vector<int> percents;
};

TEST_F(UnpackTest, ZipAndSevenZipUnpackWithTheirFoldersAndContents) {
    const std::string big = randomBytes(1 << 20, 7); // many read blocks
    std::vector<testEntry> entries = {{"docs", "", testEntry::Folder},
                                      {"docs/readme.txt", "read me\n"},
                                      {"movie.mkv", big},
                                      {"empty.txt", ""},
                                      {"docs/latest", "readme.txt", testEntry::SymLink}};
    for (const char* format : {"zip", "7z"}) {
        SCOPED_TRACE(format);
        fs::remove_all(target());
        const std::string path = archive(std::string("set.") + format);
        ASSERT_TRUE(writeTestArchive(path, format, entries));

        unpackResult result = unpack({format, {path}});
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_EQ(readFile(target() + "/docs/readme.txt"), "read me\n");
        EXPECT_EQ(readFile(target() + "/movie.mkv"), big);
        EXPECT_EQ(readFile(target() + "/docs/latest"), "read me\n");
        EXPECT_TRUE(fs::is_symlink(target() + "/docs/latest"));
        EXPECT_EQ(treeOf(target()), (std::set<std::string>{"docs", "docs/readme.txt", "docs/latest",
                                                           "movie.mkv", "empty.txt"}));
        std::vector<std::string> written = result.written;
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, (std::vector<std::string>{target() + "/docs", target() + "/empty.txt",
                                                     target() + "/movie.mkv"}));
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
        EXPECT_EQ(percents.back(), 100);
        EXPECT_GT(percents.size(), 3u); // progress shows during the data, not only at the end
    }
}

TEST_F(UnpackTest, SplitSevenZipVolumesUnpackAsOneArchive) {
    const std::string data = randomBytes(300000, 3);
    const std::string whole = archive("whole.7z");
    ASSERT_TRUE(writeTestArchive(whole, "7z", {{"data.bin", data}}));
    const std::string bytes = readFile(whole);
    fs::remove(whole);
    const std::size_t third = bytes.size() / 3 + 1;
    for (int part = 0; part < 3; ++part)
        writeFile(archive("data.7z.00" + std::to_string(part + 1)),
                  bytes.substr(part * third, third));

    std::vector<archiveSet> sets =
        findArchiveSets({archive("data.7z.003"), archive("data.7z.001"), archive("data.7z.002")});
    ASSERT_EQ(sets.size(), 1u);
    unpackResult result = unpack(sets[0]);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target() + "/data.bin"), data);

    // Without its middle volume the set fails with libarchive's word for it.
    fs::remove_all(target());
    result = unpack({"7z", {archive("data.7z.001"), archive("data.7z.003")}});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(treeOf(target()).empty());
}

TEST_F(UnpackTest, RarVolumeSetsFoundAndUnpackedInTheirOrder) {
    const std::string big = randomBytes(300000, 9); // spans many volumes
    const std::vector<RarEntry> entries = {bytesEntry("movie/movie.mkv", big),
                                           bytesEntry("movie/movie.nfo", "about it\n"),
                                           linkEntry("latest.mkv", "movie/movie.mkv")};
    const struct {
        const char* label;
        RarSetOptions options;
        const char* tenth; // the tenth volume's name: ordered after the second one
    } forms[] = {{"rar5 parts", {RarFormat::rar5, 25000, RarNaming::part}, "set.part10.rar"},
                 {"rar4 parts", {RarFormat::rar4, 25000, RarNaming::part}, "set.part10.rar"},
                 {"rar4 .r00", {RarFormat::rar4, 25000, RarNaming::old}, "set.r08"}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.label);
        fs::remove_all(target());
        std::vector<std::string> volumes = writeRarSet(archive("set"), entries, form.options);
        ASSERT_GT(volumes.size(), 10u);
        EXPECT_EQ(fs::path(volumes[9]).filename(), form.tenth);
        std::vector<std::string> shuffled(volumes.rbegin(), volumes.rend());
        shuffled.push_back(archive("set.par2"));

        std::vector<archiveSet> sets = findArchiveSets(shuffled);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].kind, "rar");
        EXPECT_EQ(sets[0].volumes, volumes);
        unpackResult result = unpack(sets[0]);
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_EQ(readFile(target() + "/movie/movie.mkv"), big);
        EXPECT_EQ(readFile(target() + "/movie/movie.nfo"), "about it\n");
        EXPECT_TRUE(fs::is_symlink(target() + "/latest.mkv"));
        EXPECT_EQ(readFile(target() + "/latest.mkv"), big);
        EXPECT_GT(percents.size(), 10u); // the percentages run across the volumes
        EXPECT_EQ(percents.back(), 100);

        // Under names that say nothing, the first volume is still known as a RAR set's
        // start by its main header, and the later ones as no start of their own.
        std::vector<std::string> nameless;
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            nameless.push_back(archive("x" + std::to_string(volumes.size() - i)));
            fs::copy_file(volumes[i], nameless.back());
        }
        sets = findArchiveSets(nameless);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].volumes, std::vector<std::string>{nameless[0]});
        for (const std::string& path : nameless)
            fs::remove(path);
        sets[0].volumes = volumes;

        // A volume cut short fails the set with libarchive's reason, leaving nothing.
        fs::remove_all(target());
        fs::resize_file(volumes[4], fs::file_size(volumes[4]) / 2);
        result = unpack(sets[0]);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_TRUE(treeOf(target()).empty());
        for (const std::string& volume : volumes)
            fs::remove(volume);
    }
}

// libarchive ends a RAR4 set quietly where a volume ends between two entries; that must
// not pass for a complete unpack.
TEST_F(UnpackTest, ARarSetThatEndsBeforeItsLastVolumeFails) {
    const std::vector<RarEntry> entries = {bytesEntry("a.bin", randomBytes(1500, 1)),
                                           bytesEntry("b.bin", randomBytes(40, 2))};
    int cut = 0;
    for (std::uint64_t size = 1540; size <= 1640; ++size) {
        std::vector<std::string> volumes =
            writeRarSet(archive("edge"), entries, {RarFormat::rar4, size, RarNaming::part});
        fs::remove_all(target());
        unpackResult result = unpack({"rar", volumes});
        if (result.ok)
            EXPECT_EQ(readFile(target() + "/b.bin").size(), 40u) << "volume size " << size;
        else if (result.reason.find("ends before") != std::string::npos)
            ++cut;
        else
            ADD_FAILURE() << "volume size " << size << ": " << result.reason;
        for (const std::string& volume : volumes)
            fs::remove(volume);
    }
    EXPECT_GT(cut, 0);
}

TEST_F(UnpackTest, EncryptedZipNeedsTheRightPassword) {
    for (const char* encryption : {"zipcrypt", "aes256"}) {
        SCOPED_TRACE(encryption);
        const std::string path = archive(std::string(encryption) + ".zip");
        ASSERT_TRUE(
            writeTestArchive(path, "zip", {{"secret.txt", "the content"}}, encryption, "s3cret"));
        fs::create_directory(target());
        const std::set<std::string> before = treeOf(root.path);

        unpackResult result = unpack({"zip", {path}});
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.passwordNeeded);
        EXPECT_EQ(result.reason, "password needed");
        expectNothingLeft(before);

        result = unpack({"zip", {path}}, "wrong");
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.passwordNeeded);
        EXPECT_EQ(result.reason, "wrong password");
        expectNothingLeft(before);

        result = unpack({"zip", {path}}, "s3cret");
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_FALSE(result.passwordNeeded);
        EXPECT_EQ(readFile(target() + "/secret.txt"), "the content");
        fs::remove_all(target());
    }
}

TEST_F(UnpackTest, HostileEntriesFailTheSetAndWriteNothing) {
    const std::string outsideName = fs::path(root.path).filename().string() + "_escaped";
    const std::string absolute = fs::temp_directory_path().string() + "/" + outsideName;
    struct hostile {
        const char* what;
        std::vector<testEntry> entries;
        std::string named; // the entry the reason must name
    };
    const std::vector<hostile> cases = {
        {"absolute path", {{"fine.txt", "x"}, {absolute, "evil"}}, absolute},
        {"dot-dot", {{"fine.txt", "x"}, {"sub/../../escaped", "evil"}}, "sub/../../escaped"},
        {"link to /etc, then a file through it",
         {{"etc", "/etc", testEntry::SymLink}, {"etc/evil.conf", "evil"}},
         "etc"},
        {"link inside, then a file through it",
         {{"sub", "", testEntry::Folder},
          {"shortcut", "sub", testEntry::SymLink},
          {"shortcut/file", "through"}},
         "shortcut/file"},
        {"link leading out", {{"a/up", "../../escaped", testEntry::SymLink}}, "a/up"},
        {"link out by way of another link",
         {{"a/b/top", "../..", testEntry::SymLink},
          {"m", "a/b/top/../escaped", testEntry::SymLink}},
         "m"},
    };
    for (const char* format : {"zip", "7z", "rar4", "rar5"})
        for (const hostile& test : cases) {
            SCOPED_TRACE(std::string(format) + ": " + test.what);
            const std::string path =
                archive(std::string("hostile.") + (format[0] == 'r' ? "rar" : format));
            fs::remove(path);
            ASSERT_TRUE(writeTestArchive(path, format, test.entries));
            fs::create_directory(target());
            const std::set<std::string> before = treeOf(root.path);

            unpackResult result = unpack({format, {path}});
            EXPECT_FALSE(result.ok);
            EXPECT_FALSE(result.passwordNeeded);
            EXPECT_NE(result.reason.find("\"" + test.named + "\""), std::string::npos)
                << result.reason;
            EXPECT_TRUE(result.written.empty());
            expectNothingLeft(before);
            EXPECT_FALSE(fs::exists(absolute));
            EXPECT_FALSE(fs::exists("/etc/evil.conf"));
        }
}

TEST_F(UnpackTest, OverlongAndStrangeNamesFailWithAShortReason) {
    std::string deep;
    while (deep.size() < PATH_MAX)
        deep += "folder/";
    const std::string strange = std::string("line\nbreak\x01") + std::string(200, 'x');
    for (const std::string& name : {deep + "file", strange + "/../x"}) {
        const std::string path = archive("odd.zip");
        ASSERT_TRUE(writeTestArchive(path, "zip", {{"fine.txt", "x"}, {name, "data"}}));
        fs::create_directory(target());
        const std::set<std::string> before = treeOf(root.path);
        unpackResult result = unpack({"zip", {path}});
        EXPECT_FALSE(result.ok);
        EXPECT_LT(result.reason.size(), 120u) << result.reason;
        EXPECT_EQ(result.reason.find_first_of("\n\x01"), std::string::npos) << result.reason;
        expectNothingLeft(before);
    }
}

// The program runs in the C locale unless a window set another; names beyond ASCII still
// come out as the archive's UTF-8.
TEST_F(UnpackTest, NamesBeyondAsciiUnpackWhateverTheLocale) {
    const std::string folder = "Caf\xc3\xa9";
    const std::string name = folder + "/na\xc3\xafve \xe2\x82\xac.txt";
    for (const char* format : {"zip", "7z", "rar4", "rar5"}) {
        SCOPED_TRACE(format);
        fs::remove_all(target());
        const std::string path =
            archive(std::string("names.") + (format[0] == 'r' ? "rar" : format));
        // The 7z writer needs a UTF-8 locale for such names; only the writing gets one.
        locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
        ASSERT_TRUE(utf8);
        locale_t before = uselocale(utf8);
        const bool written = writeTestArchive(path, format, {{name, "data"}});
        uselocale(before);
        freelocale(utf8);
        ASSERT_TRUE(written);
        unpackResult result = unpack({format[0] == 'r' ? "rar" : format, {path}});
        EXPECT_TRUE(result.ok) << result.reason;
        EXPECT_TRUE(fs::is_regular_file(target() + "/" + name));
    }
}

TEST_F(UnpackTest, NamesTakenInTheTargetAreKeptAndEntriesTakeFreeNames) {
    fs::create_directories(target() + "/extras");
    writeFile(target() + "/movie.mkv", "mine");
    writeFile(target() + "/extras/a.txt", "mine too");
    writeFile(root.file("elsewhere.txt"), "not to be written through");
    fs::create_symlink(root.file("elsewhere.txt"), target() + "/notes.txt");
    const std::string path = archive("set.zip");
    ASSERT_TRUE(writeTestArchive(path, "zip",
                                 {{"movie.mkv", "archived movie"},
                                  {"extras/a.txt", "archived a"},
                                  {"extras/b.txt", "archived b"},
                                  {"notes.txt", "archived notes"}}));

    unpackResult result = unpack({"zip", {path}});
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target() + "/movie.mkv"), "mine");
    EXPECT_EQ(readFile(target() + "/movie.1.mkv"), "archived movie");
    EXPECT_EQ(readFile(target() + "/extras/a.txt"), "mine too");
    EXPECT_EQ(readFile(target() + "/extras/a.1.txt"), "archived a");
    EXPECT_EQ(readFile(target() + "/extras/b.txt"), "archived b");
    EXPECT_TRUE(fs::is_symlink(target() + "/notes.txt"));
    EXPECT_EQ(readFile(root.file("elsewhere.txt")), "not to be written through");
    EXPECT_EQ(readFile(target() + "/notes.1.txt"), "archived notes");
    std::vector<std::string> written = result.written;
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written,
              (std::vector<std::string>{target() + "/extras/a.1.txt", target() + "/extras/b.txt",
                                        target() + "/movie.1.mkv", target() + "/notes.1.txt"}));
}

TEST_F(UnpackTest, LeftoverStagingFolderOfAKilledRunIsRemoved) {
    const std::string leftover = target() + "/" + cStagingFolder::kName;
    fs::create_directories(leftover + "/half");
    writeFile(leftover + "/half/written.part", "half");
    const std::string path = archive("set.zip");
    ASSERT_TRUE(writeTestArchive(path, "zip", {{"whole.txt", "whole"}}));

    unpackResult result = unpack({"zip", {path}});
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(treeOf(target()), std::set<std::string>{"whole.txt"});
}

TEST_F(UnpackTest, DamagedArchivesFailWithLibarchivesReason) {
    const std::string data = randomBytes(200000, 11);
    const std::string zipPath = archive("good.zip");
    const std::string sevenPath = archive("good.7z");
    ASSERT_TRUE(writeTestArchive(zipPath, "zip", {{"data.bin", data}}));
    ASSERT_TRUE(writeTestArchive(sevenPath, "7z", {{"data.bin", data}}));
    const std::string zip = readFile(zipPath);
    const std::string seven = readFile(sevenPath);

    std::string flipped = zip;
    flipped[flipped.size() / 2] ^= 0x40; // inside the compressed data
    writeFile(archive("flipped.zip"), flipped);
    writeFile(archive("cut.zip"), zip.substr(0, zip.size() / 2));
    writeFile(archive("cut.7z"), seven.substr(0, seven.size() - 40));
    fs::create_directory(target());
    const std::set<std::string> before = treeOf(root.path);

    for (const char* name : {"flipped.zip", "cut.zip", "cut.7z"}) {
        SCOPED_TRACE(name);
        const std::string kind = fs::path(name).extension().string().substr(1);
        unpackResult result = unpack({kind, {archive(name)}});
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.passwordNeeded);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_EQ(result.reason.find('\n'), std::string::npos);
        expectNothingLeft(before);
    }
}

TEST_F(UnpackTest, StopEndsTheUnpackAndLeavesNothing) {
    const std::string path = archive("set.zip");
    ASSERT_TRUE(writeTestArchive(
        path, "zip", {{"a.bin", randomBytes(2 << 20, 5)}, {"b.bin", randomBytes(2 << 20, 6)}}));
    fs::create_directory(target());
    const std::set<std::string> before = treeOf(root.path);
    std::atomic<bool> stop{false};
    int calls = 0;
    unpackResult result = unpackArchive(
        {"zip", {path}}, target(), "",
        [&](int percent) {
            ++calls;
            if (percent > 10) stop = true;
        },
        &stop);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, "stopped");
    EXPECT_LT(calls, 100);
    expectNothingLeft(before);
}

} // namespace
