// The page guard of the results panel: settings any thread may change, pages handed over
// whole. Pages here are filled by a real results database.
#include "CMiravelDB.h"
#include "ResultPages.h"
#include "SearchHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class Pages : public ::testing::Test {
  protected:
    void SetUp() override {
        auto first = pages.blank();
        db.selectData(*first);
        pages.show(std::move(first));
        ASSERT_GT(pages.shown().cols, 3);
    }

    SearchHome home;
    CMiravelDB db;
    ResultPages pages{"results"};
};

TEST_F(Pages, FilterByNameCutToFieldAndNullClears) {
    std::string text = "unchanged";
    EXPECT_FALSE(pages.getFilter("nosuchcolumn", text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_FALSE(pages.setFilter(nullptr, "x"));
    EXPECT_FALSE(pages.setFilter("nosuchcolumn", "x"));

    const std::string longText(80, 'k');
    ASSERT_TRUE(pages.setFilter("subject", longText.c_str()));
    ASSERT_TRUE(pages.getFilter("subject", text));
    EXPECT_EQ(text, longText.substr(0, 63));

    ASSERT_TRUE(pages.setFilter("subject", nullptr));
    ASSERT_TRUE(pages.getFilter("subject", text));
    EXPECT_EQ(text, "");
}

TEST_F(Pages, ChangesMadeDuringARefreshSurviveTheHandOver) {
    pages.setFilter("subject", "old");
    auto fresh = pages.blank();
    EXPECT_STREQ(fresh->column[3].filter, "old");
    // The user goes on typing and sorting while the fresh page is being read.
    pages.setFilter("subject", "newer");
    pages.sortBy(6);
    db.selectData(*fresh);
    pages.show(std::move(fresh));

    std::string text;
    pages.getFilter("subject", text);
    EXPECT_EQ(text, "newer");
    EXPECT_EQ(pages.sortColumn(), 6);
    EXPECT_FALSE(pages.descending());
    EXPECT_EQ(pages.shown().rows, 0) << "read with the filter of its start";
    EXPECT_EQ(pages.shown().cols, 7);
}

TEST_F(Pages, OnlyTheLatestParkedPageIsKept) {
    auto first = pages.blank();
    auto second = pages.blank();
    tRecordData* latest = second.get();
    EXPECT_TRUE(pages.park(std::move(first)));
    EXPECT_FALSE(pages.park(std::move(second))); // the window has been told already
    auto taken = pages.takeParked();
    EXPECT_EQ(taken.get(), latest);
    EXPECT_EQ(pages.takeParked(), nullptr);
    EXPECT_TRUE(pages.park(std::move(taken)));
}

TEST_F(Pages, SortOutsideTheColumnsIsIgnored) {
    int before = pages.sortColumn();
    pages.sortBy(-1);
    pages.sortBy(pages.shown().cols);
    EXPECT_EQ(pages.sortColumn(), before);
    EXPECT_FALSE(pages.descending());
}

} // namespace
