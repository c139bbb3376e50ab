// The checks of a start before anything runs, in a fresh program folder: a folder that
// cannot be made is logged on standard error and told in a box, and what is stored
// stays as it was. Boxes are recorded through the message box layer.
#include "TestFolders.h"
#include "articleSchema.h"
#include "msgbox.h"
#include "profile.h"
#include "startupBoxes.h"
#include "startupFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct tbox {
    std::string text, title;
    unsigned flags;
};
std::vector<tbox> boxes;

int record(const char* text, const char* title, unsigned flags) {
    boxes.push_back({text, title, flags});
    return msgbox::IDOK;
}

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes.clear();
        msgbox::setHandler(record);
        // A plain file where a folder of the configuration would have to go.
        std::ofstream("blocker") << "not a folder";
    }
    void TearDown() override { msgbox::setHandler(nullptr); }

    WorkingFolder folder{"startup_test"};
};

TEST_F(StartupTest, AnUnusableTemporaryFolderStopsTheStartWithABoxAndALogLine) {
    profile::writeString("DEFAULT", "tempfolder", "./blocker/temp", CONFIG_INI);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(prepareFolders());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("tempfolder \"./blocker/temp\" cannot be created"), std::string::npos)
        << log;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Configuration Error");
    EXPECT_NE(boxes[0].text.find("Unable to create base folders"), std::string::npos);
    EXPECT_EQ(boxes[0].flags, (unsigned)msgbox::ICONERROR);
    // Nothing made and nothing rewritten: the user's setting is still there to correct.
    EXPECT_EQ(profile::getString("DEFAULT", "tempfolder", "", CONFIG_INI), "./blocker/temp");
    EXPECT_FALSE(std::filesystem::exists("data"));
}

TEST_F(StartupTest, AnUnusableDownloadFolderIsResetAndTheStartGoesOn) {
    profile::writeString("DEFAULT", "downloadto", "./blocker/down", CONFIG_INI);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(prepareFolders());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("downloadto \"./blocker/down\" cannot be created"), std::string::npos);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].flags, (unsigned)msgbox::ICONINFORMATION);
    EXPECT_EQ(profile::getString("DEFAULT", "downloadto", "", CONFIG_INI), "./temp");
    EXPECT_TRUE(std::filesystem::is_directory("temp"));
    EXPECT_TRUE(std::filesystem::is_regular_file("data/articles.sql"));

    // A second start finds everything in order and says nothing.
    boxes.clear();
    EXPECT_TRUE(prepareFolders());
    EXPECT_TRUE(boxes.empty());
}

// On the offscreen fallback nobody could see or close a Qt box: the console answers,
// for every box of the start, and uninstall hands boxes back to the console.
TEST_F(StartupTest, WithoutAUsableDisplayStartupBoxesGoToTheConsole) {
    msgbox::setHandler(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("DISPLAY", ":99999", 1);
    startupBoxes::install();
    for (const char* text : {"first", "second"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(msgbox::show(text, "Configuration Error", msgbox::ICONERROR), msgbox::IDOK);
        EXPECT_NE(testing::internal::GetCapturedStderr().find(std::string("Configuration Error: ") +
                                                              text),
                  std::string::npos);
    }
    startupBoxes::uninstall();
    unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    msgbox::show("after", "t", msgbox::OK);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("t: after"), std::string::npos);
}

} // namespace
