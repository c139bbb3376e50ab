// The list files behind the search panel's boxes, read from real files.
#include "ListFile.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

struct ListCase {
    const char* what;
    std::string text;
    Entries entries;
};

TEST(ListFile, LineEndsAndBlankLines) {
    const std::string a1023(1023, 'a');
    const ListCase cases[] = {
        {"windows line ends", "one\r\ntwo\r\n", {"one", "two"}},
        {"unix line ends", "one\ntwo\n", {"one", "two"}},
        {"mixed, blank lines between", "\r\none\n\n\r\ntwo\r\n\nthree", {"one", "two", "three"}},
        {"a lone CR ends the entry", "one\rtail\ntwo\n", {"one", "two"}},
        {"the blank default entry is kept", " \r\n<7\r\n", {" ", "<7"}},
        {"no last line end", "only", {"only"}},
        {"empty file", "", {}},
        {"exactly 1023 characters", a1023 + "\r\nnext\r\n", {a1023, "next"}},
    };
    TempFolder folder;
    for (const ListCase& c : cases) {
        writeFile(folder.file("list.txt"), c.text);
        auto entries = readListFile(folder.file("list.txt"));
        ASSERT_TRUE(entries) << c.what;
        EXPECT_EQ(*entries, c.entries) << c.what;
    }
}

TEST(ListFile, LongLineBecomesSeveralEntries) {
    TempFolder folder;
    const std::string line = std::string(1023, 'x') + std::string(1023, 'y') + "zz";
    writeFile(folder.file("long.txt"), line + "\r\nafter\r\n");
    auto entries = readListFile(folder.file("long.txt"));
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, (Entries{std::string(1023, 'x'), std::string(1023, 'y'), "zz", "after"}));
}

TEST(ListFile, MissingFileOrNoPlainFileIsNotAList) {
    TempFolder folder;
    EXPECT_FALSE(readListFile(folder.file("absent.txt")));
    // Neither a folder nor a pipe without a writer holds the caller.
    std::filesystem::create_directory(folder.file("folder.txt"));
    EXPECT_FALSE(readListFile(folder.file("folder.txt")));
    ASSERT_EQ(mkfifo(folder.file("pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(readListFile(folder.file("pipe.txt")));
}

} // namespace
