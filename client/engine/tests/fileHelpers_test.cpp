#include "ProgramFolder.h"
#include "articleSchema.h"
#include "fileHelpers.h"
#include "profile.h"

#include <string>

namespace {
class FileHelpersTest : public ProgramFolder {};
} // namespace

TEST_F(FileHelpersTest, FolderExistsWritesTheDefaultOnlyForABlankKey) {
    writeFile(CONFIG_INI, "[DEFAULT]\ntempfolder=\nother=./present\n");
    std::filesystem::create_directory("present");

    EXPECT_EQ(folder_exists("DEFAULT", "tempfolder", "./temp", "ignored.ini", 1), 0);
    EXPECT_TRUE(std::filesystem::is_directory("temp"));
    EXPECT_EQ(profile::getString("DEFAULT", "tempfolder", "", CONFIG_INI), "./temp");

    EXPECT_EQ(folder_exists("DEFAULT", "downloadto", "./dl", "", 0), -1);
    EXPECT_FALSE(std::filesystem::exists("dl"));
    EXPECT_EQ(profile::getString("DEFAULT", "downloadto", "absent", CONFIG_INI), "absent");
    EXPECT_EQ(folder_exists("DEFAULT", "downloadto", "./dl", "", 1), 0);
    EXPECT_TRUE(std::filesystem::is_directory("dl"));
    EXPECT_EQ(profile::getString("DEFAULT", "downloadto", "absent", CONFIG_INI), "absent");

    EXPECT_EQ(folder_exists("DEFAULT", "other", "./x", "", 0), 0);
    EXPECT_EQ(folder_exists("DEFAULT", "deep", "./a/b", "", 1), -1); // one level only
}

TEST_F(FileHelpersTest, FileExistsAndFileCreate) {
    EXPECT_EQ(file_exists("none"), -1);
    EXPECT_EQ(file_exists(nullptr), -1);
    EXPECT_EQ(file_create("made.txt", "line\nrest-not-written", 5), 0);
    EXPECT_EQ(file_exists("made.txt"), 0);
    EXPECT_EQ(readFile("made.txt"), "line\n");
    EXPECT_EQ(file_create("made.txt", "", 0), 0); // truncates
    EXPECT_EQ(readFile("made.txt"), "");
    EXPECT_EQ(file_create("no/such/folder.txt", "x", 1), -2);
    EXPECT_EQ(file_create("/dev/full", "x", 1), -1);
}

TEST_F(FileHelpersTest, RemoveMDeletesMatchesOnlyAndReportsNoMatch) {
    std::filesystem::create_directory("temp");
    std::filesystem::create_directory("temp/sub.segm");
    for (const char* name : {"temp/1.2.3.segm", "temp/a.segm", "temp/keep.seg", "temp/keep.dec"})
        writeFile(name, "x");

    testing::internal::CaptureStdout();
    removeM("./temp/*.segm");
    fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("remove: ./temp/1.2.3.segm \n"), std::string::npos) << log;
    EXPECT_NE(log.find("remove: ./temp/a.segm \n"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists("temp/1.2.3.segm"));
    EXPECT_FALSE(std::filesystem::exists("temp/a.segm"));
    EXPECT_TRUE(std::filesystem::exists("temp/keep.seg"));
    EXPECT_TRUE(std::filesystem::is_directory("temp/sub.segm")); // folders are not files

    testing::internal::CaptureStdout();
    removeM("./temp/*.sql");
    removeM("./nofolder/*.seg");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "dirlist error: 2 './temp/*.sql'\ndirlist error: 2 './nofolder/*.seg'\n");
    EXPECT_TRUE(std::filesystem::exists("temp/keep.seg"));
    EXPECT_TRUE(std::filesystem::exists("temp/keep.dec"));
}
