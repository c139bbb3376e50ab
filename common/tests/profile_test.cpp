#include "TestFolders.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

class ProfileTest : public ::testing::Test {
  protected:
    void writeConfig(const char* text) { writeFile(file, text); }
    TempFolder folder{"profile_test"};
    std::string file = folder.file("config.ini");
};

TEST_F(ProfileTest, ReadsWithDefaultsBlanksAndCaseFreeNames) {
    writeConfig("[DEFAULT]\ntempfolder=./temp\nblank=\nnumber=42abc\nword=abc\n");
    char out[16];
    EXPECT_EQ(profile::getString("default", "TEMPFOLDER", "x", out, sizeof out, file.c_str()), 6);
    EXPECT_STREQ(out, "./temp");
    EXPECT_EQ(profile::getString("DEFAULT", "blank", "dflt", file.c_str()), "");
    EXPECT_EQ(profile::getString("DEFAULT", "absent", "dflt", file.c_str()), "dflt");
    EXPECT_EQ(profile::getString("NOSECTION", "absent", "dflt", file.c_str()), "dflt");
    EXPECT_EQ(profile::getInt("DEFAULT", "number", 7, file.c_str()), 42);
    EXPECT_EQ(profile::getInt("DEFAULT", "word", 7, file.c_str()), 0);
    EXPECT_EQ(profile::getInt("DEFAULT", "absent", 7, file.c_str()), 7);
}

TEST_F(ProfileTest, LongValueIsCutToTheBuffer) {
    writeConfig("[S]\nk=0123456789abcdef\n");
    char out[5];
    EXPECT_EQ(profile::getString("S", "k", "", out, sizeof out, file.c_str()), 4);
    EXPECT_STREQ(out, "0123");
}

TEST_F(ProfileTest, WritesKeepOtherKeysAndRemoveOnNull) {
    EXPECT_EQ(profile::getInt("S", "a", -1, file.c_str()), -1); // no file yet
    ASSERT_TRUE(profile::writeInt("S", "a", 5, file.c_str()));
    ASSERT_TRUE(profile::writeString("S", "b", "text with blanks", file.c_str()));
    ASSERT_TRUE(profile::writeString("T", "c", "x", file.c_str()));
    EXPECT_EQ(profile::getInt("s", "A", -1, file.c_str()), 5);
    EXPECT_EQ(profile::getString("S", "b", "", file.c_str()), "text with blanks");
    ASSERT_TRUE(profile::writeString("S", "a", nullptr, file.c_str()));
    EXPECT_EQ(profile::getInt("S", "a", -1, file.c_str()), -1);
    ASSERT_TRUE(profile::writeString("T", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(profile::getString("T", "c", "gone", file.c_str()), "gone");
    EXPECT_EQ(profile::getString("S", "b", "", file.c_str()), "text with blanks");
}

TEST_F(ProfileTest, WrittenFileKeepsTheClassicLayout) {
    writeConfig("[DEFAULT]\ntempfolder=./temp\n");
    ASSERT_TRUE(profile::writeInt("DEFAULT", "numactive", 3, file.c_str()));
    ASSERT_TRUE(profile::writeString("server1", "host", "news.example.invalid", file.c_str()));
    std::string text = readFile(file);
    EXPECT_NE(text.find("tempfolder=./temp\nnumactive=3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[server1]\nhost=news.example.invalid\n"), std::string::npos) << text;
}

TEST_F(ProfileTest, StructRoundTripAndChecksum) {
    const unsigned char rect[16] = {1, 2, 3, 4, 200, 0, 0, 0, 255, 255, 255, 255, 16, 32, 64, 128};
    ASSERT_TRUE(profile::writeStruct("USERINTERFACE", "wndpos", rect, sizeof rect, file.c_str()));
    std::string text = profile::getString("USERINTERFACE", "wndpos", "", file.c_str());
    EXPECT_EQ(text, "01020304C8000000FFFFFFFF10204080"
                    "BE");
    unsigned char back[16] = {};
    ASSERT_TRUE(profile::getStruct("USERINTERFACE", "wndpos", back, sizeof back, file.c_str()));
    EXPECT_EQ(0, memcmp(rect, back, sizeof rect));

    text.back() = 'F'; // broken checksum leaves the target untouched
    ASSERT_TRUE(profile::writeString("USERINTERFACE", "wndpos", text.c_str(), file.c_str()));
    unsigned char untouched[16] = {9};
    EXPECT_FALSE(profile::getStruct("USERINTERFACE", "wndpos", untouched, 16, file.c_str()));
    EXPECT_EQ(untouched[0], 9);
    EXPECT_FALSE(profile::getStruct("USERINTERFACE", "wndpos", untouched, 8, file.c_str()));
}

TEST_F(ProfileTest, SectionsInTheOrderWritten) {
    writeConfig("[zeta]\nhost=a\n[Alpha]\n[beta]\nplugin=newznab\n");
    EXPECT_EQ(profile::sections(file.c_str()), (std::vector<std::string>{"zeta", "Alpha", "beta"}));
    EXPECT_TRUE(profile::sections(folder.file("missing.ini").c_str()).empty());
}
