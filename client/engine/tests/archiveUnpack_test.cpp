#include "RandomBytes.h"
#include "TestArchive.h"
#include "TestFolders.h"
#include "archiveUnpack.h"
#include "cStagingFolder.h"

#include <algorithm>
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
    const std::string data = randomBytes(1 << 20, 3);
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
    std::set<std::string> before = treeOf(root.path);
    fs::remove_all(target());
    before.erase("post");
    before.erase("post/data.bin");
    result = unpack({"7z", {archive("data.7z.001"), archive("data.7z.003")}});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(treeOf(target()).empty());
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
    for (const char* format : {"zip", "7z"})
        for (const hostile& test : cases) {
            SCOPED_TRACE(std::string(format) + ": " + test.what);
            const std::string path = archive(std::string("hostile.") + format);
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
