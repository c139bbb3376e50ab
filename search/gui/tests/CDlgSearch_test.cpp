// The search panel on the offscreen platform, over the real coordinator with the shipped
// engine plug-ins and list files in a fresh program folder.
#include "CDlgSearch.h"
#include "PanelHome.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <thread>

namespace {

class SearchPanel : public PanelHome {
  protected:
    void SetUp() override {
        PanelHome::SetUp();
        writeFile(home.file("cfg/keyword.txt"), "zebra\r\nApple\r\n\r\nmango\r\n");
        writeFile(home.file("cfg/newsgroup.txt"), " \r\nalt.binaries.tv\nalt.binaries.movies\n");
        writeFile(home.file("cfg/age.txt"), " \r\n<7\r\n<14\r\n");
        writeFile(home.file("cfg/size.txt"), ">200 <600\r\n>1\r\n");
        writeFile(home.file("cfg/watchlist.txt"), "");
        panel = std::make_unique<CDlgSearch>(*miravel);
        ASSERT_TRUE(panel->Create(main.handle(), CDlgSearch::TEMPLATE_ID));
    }
    void TearDown() override {
        panel.reset();
        PanelHome::TearDown();
    }
    QComboBox* box(int id) { return qobject_cast<QComboBox*>(panel->item(id)); }
    static QStringList entries(const QComboBox* combo) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    }

    std::unique_ptr<CDlgSearch> panel;
};

TEST_F(SearchPanel, BoxesAreFilledFromTheirListFiles) {
    // Sorted boxes order their entries without regard to case; the others keep the file's.
    EXPECT_EQ(entries(box(CDlgSearch::IDC_KEYWORD)), (QStringList{"Apple", "mango", "zebra"}));
    EXPECT_EQ(entries(box(CDlgSearch::IDC_NEWSGROUP)),
              (QStringList{" ", "alt.binaries.movies", "alt.binaries.tv"}));
    EXPECT_EQ(entries(box(CDlgSearch::IDC_AGE)), (QStringList{" ", "<7", "<14"}));
    EXPECT_EQ(entries(box(CDlgSearch::IDC_SIZE)), (QStringList{">200 <600", ">1"}));
    EXPECT_EQ(box(CDlgSearch::IDC_WATCHLIST)->count(), 0);
    for (int id : {CDlgSearch::IDC_KEYWORD, CDlgSearch::IDC_AGE}) {
        EXPECT_EQ(box(id)->currentIndex(), -1) << "filled, not chosen: " << id;
        EXPECT_EQ(box(id)->currentText(), "") << id;
    }
}

TEST_F(SearchPanel, RefreshKeepsTypedTextAndFollowsTheFiles) {
    box(CDlgSearch::IDC_KEYWORD)->setEditText("typed words");
    box(CDlgSearch::IDC_SIZE)->setEditText(">5");
    writeFile(home.file("cfg/keyword.txt"), "new\n");
    std::filesystem::remove(home.file("cfg/size.txt"));

    panel->refreshlist();
    EXPECT_EQ(entries(box(CDlgSearch::IDC_KEYWORD)), QStringList{"new"});
    EXPECT_EQ(box(CDlgSearch::IDC_KEYWORD)->currentText(), "typed words");
    // A deleted list file leaves its box empty.
    EXPECT_EQ(box(CDlgSearch::IDC_SIZE)->count(), 0);
    EXPECT_EQ(box(CDlgSearch::IDC_SIZE)->currentText(), "");
    EXPECT_TRUE(main.commands.empty()) << "refilling is not typing";
}

TEST_F(SearchPanel, LongListLineBecomesSeveralEntries) {
    QComboBox* age = box(CDlgSearch::IDC_AGE);
    writeFile(home.file("cfg/long.txt"), std::string(1500, 'q') + "\r\n<3\r\n");
    CDlgSearch::CBO_ReadCache(age, "./cfg/%s.txt", "long");
    ASSERT_EQ(age->count(), 3);
    EXPECT_EQ(age->itemText(0).size(), 1023);
    EXPECT_EQ(age->itemText(1).size(), 477);
    EXPECT_EQ(age->itemText(2), "<3");
}

TEST_F(SearchPanel, EngineTabsFollowTheCoordinator) {
    const char* names[] = {"binsearch", "nzbindex", "yabsearch"};
    const QWidget* newsgroup = box(CDlgSearch::IDC_NEWSGROUP);
    int left = newsgroup->geometry().left();
    for (int i = 0; i < 3; ++i) {
        auto* tab = qobject_cast<QPushButton*>(panel->item(CDlgSearch::IDC_FIRSTTAB + i));
        ASSERT_TRUE(tab) << i;
        EXPECT_EQ(tab->text(), names[i]);
        EXPECT_TRUE(tab->isCheckable());
        EXPECT_EQ(tab->isChecked(), i == 0);
        EXPECT_EQ(tab->geometry().left(), left) << "tabs stand side by side from the newsgroup box";
        EXPECT_EQ(tab->geometry().top(), 25);
        left = tab->geometry().right() + 1;
    }
    EXPECT_EQ(panel->item(CDlgSearch::IDC_FIRSTTAB + 3), nullptr);

    auto* second = qobject_cast<QPushButton*>(panel->item(CDlgSearch::IDC_FIRSTTAB + 1));
    QTest::mouseClick(second, Qt::LeftButton);
    ASSERT_EQ(main.commands.size(), 1u);
    EXPECT_EQ(main.commands[0], (RecordedCommand{BN_CLICKED, 1025, 1026}));
    EXPECT_TRUE(second->isChecked());
    EXPECT_FALSE(qobject_cast<QPushButton*>(panel->item(1025))->isChecked());
}

TEST_F(SearchPanel, NotificationsReachTheMainWindowByCode) {
    struct Row {
        int code;
        int id;
        bool forwarded;
        int forwardedCode;
        intptr_t result;
    };
    const Row rows[] = {
        {BN_CLICKED, CDlgSearch::IDC_SEARCH, true, BN_CLICKED, 1},
        {CBN_SELCHANGE, CDlgSearch::IDC_AGE, true, CBN_SELCHANGE, 0},
        {CBN_DBLCLK, CDlgSearch::IDC_AGE, false, 0, 0},
        {CBN_SETFOCUS, CDlgSearch::IDC_KEYWORD, true, CBN_EDITCHANGE, 0},
        {CBN_SETFOCUS, CDlgSearch::IDC_WATCHLIST, true, CBN_EDITCHANGE, 0},
        {CBN_SETFOCUS, CDlgSearch::IDC_SIZE, true, CBN_SETFOCUS, 0},
        {CBN_KILLFOCUS, CDlgSearch::IDC_KEYWORD, true, CBN_KILLFOCUS, 1},
        {CBN_EDITCHANGE, CDlgSearch::IDC_NEWSGROUP, true, CBN_EDITCHANGE, 0},
        {CBN_EDITUPDATE, CDlgSearch::IDC_WATCHLIST, true, CBN_EDITCHANGE, 0},
        {CBN_EDITUPDATE, CDlgSearch::IDC_AGE, true, CBN_EDITUPDATE, 0},
        {CBN_DROPDOWN, CDlgSearch::IDC_SIZE, true, CBN_DROPDOWN, 1},
        {8, CDlgSearch::IDC_SIZE, false, 0, 0},
    };
    for (const Row& row : rows) {
        main.commands.clear();
        const intptr_t result = CWnd::sendCommand(panel->handle(), row.id, row.code, 77);
        EXPECT_EQ(result, row.result) << row.code << "/" << row.id;
        if (row.forwarded) {
            ASSERT_EQ(main.commands.size(), 1u) << row.code << "/" << row.id;
            EXPECT_EQ(main.commands[0], (RecordedCommand{row.forwardedCode, row.id, 77}));
        } else {
            EXPECT_TRUE(main.commands.empty()) << row.code << "/" << row.id;
        }
    }
}

TEST_F(SearchPanel, TypingAndEnterInTheKeywordBox) {
    QLineEdit* edit = box(CDlgSearch::IDC_KEYWORD)->lineEdit();
    QTest::keyClicks(edit, "ab");
    ASSERT_GE(main.commands.size(), 2u);
    EXPECT_EQ(main.commands.back().code, CBN_EDITCHANGE);
    EXPECT_EQ(main.commands.back().id, CDlgSearch::IDC_KEYWORD);

    main.commands.clear();
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(main.commands.size(), 1u);
    EXPECT_EQ(main.commands[0].code, BN_CLICKED);
    EXPECT_EQ(main.commands[0].id, IDOK);
    EXPECT_EQ(box(CDlgSearch::IDC_KEYWORD)->count(), 3) << "Enter adds no entry";
}

TEST_F(SearchPanel, UpdateNoticeFromAnotherThread) {
    QWidget* notice = panel->item(CDlgSearch::IDC_UPDATE);
    ASSERT_TRUE(notice);
    EXPECT_FALSE(notice->isVisible());
    int opened = 0;
    panel->setUpdateOpener([&opened] { ++opened; });

    std::thread reporter([this] { panel->setUpdateAvailable(1); });
    reporter.join();
    EXPECT_EQ(panel->updateAvailable(), 1);
    ASSERT_TRUE(waitUntil([&] { return notice->isVisible(); }));

    const QPoint inside = notice->geometry().center();
    CWnd::sendMessage(panel->handle(), WM_LBUTTONUP, 0, makeParam(inside.x(), inside.y()));
    EXPECT_EQ(opened, 1);
    CWnd::sendMessage(panel->handle(), WM_LBUTTONUP, 0, makeParam(1, 1));
    EXPECT_EQ(opened, 1) << "a click beside the notice opens nothing";
}

TEST_F(SearchPanel, NoticeWithoutAnAddressIsNotClickable) {
    panel->setUpdateAvailable(1);
    QWidget* notice = panel->item(CDlgSearch::IDC_UPDATE);
    ASSERT_TRUE(waitUntil([&] { return notice->isVisible(); }));
    EXPECT_EQ(notice->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(SearchPanel, UpdateNoticeKeepsToTheRightEndOfTheTopRow) {
    QWidget* notice = panel->item(CDlgSearch::IDC_UPDATE);
    const QWidget* search = panel->item(CDlgSearch::IDC_SEARCH);
    panel->handle()->resize(1000, 45);
    ASSERT_TRUE(waitUntil([&] { return notice->geometry().right() + 1 == 995; }));
    EXPECT_EQ(notice->geometry().top(), 23);
    // Narrower than the top row: the notice stays right of the Search button.
    panel->handle()->resize(300, 45);
    ASSERT_TRUE(waitUntil(
        [&] { return notice->geometry().right() + 1 == search->geometry().right() + 1 + 10; }));
}

} // namespace
