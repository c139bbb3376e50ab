// The results panel on the offscreen platform over a real results database.
#include "CDlgResult.h"
#include "PanelHome.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include <cstring>

namespace {

// Columns of the "results" view.
const int COL_ID = 0, COL_ENGINE = 1, COL_SUBJECT = 3, COL_SIZE = 4, COL_AGE = 6;

class ResultPanel : public PanelHome {
  protected:
    void SetUp() override {
        PanelHome::SetUp();
        std::string rows;
        for (int i = 1; i <= 9; ++i)
            rows += resultRow("id" + std::to_string(i), "subject " + std::to_string(i), i * 100,
                              10 - i);
        insert(rows);
        panel = std::make_unique<CDlgResult>(*miravel, "results");
        ASSERT_TRUE(panel->Create(main.handle(), CDlgResult::TEMPLATE_ID));
        panel->handle()->resize(880, 500);
    }
    void TearDown() override {
        panel.reset();
        PanelHome::TearDown();
    }
    // Holds the refresh thread, so a test drives the polling passes itself.
    void holdRefreshThread() { panel->stop(); }
    // Drives passes until the page has been looked at, then lets the window take the page.
    void refreshByHand() {
        const int before = panel->refreshCount();
        for (int pass = 0; pass < 5; ++pass)
            panel->pollStep();
        if (panel->refreshCount() != before) QApplication::processEvents();
    }
    QTableView* view() { return qobject_cast<QTableView*>(panel->item(CDlgResult::IDC_LIST)); }
    QLineEdit* editor() { return qobject_cast<QLineEdit*>(panel->item(CDlgResult::IDC_FILTER)); }
    std::string cell(int row, int col) {
        return view()->model()->index(row, col).data().toString().toStdString();
    }
    std::vector<std::string> column(int col) {
        std::vector<std::string> out;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            out.push_back(cell(row, col));
        return out;
    }
    void clickHeader(int col) {
        QHeaderView* header = view()->horizontalHeader();
        const int x = header->sectionViewportPosition(col) + header->sectionSize(col) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    void rightClickHeader(int col) {
        QHeaderView* header = view()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(col) + 5, header->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, header->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &event);
    }
    std::string filter(const char* name) {
        char text[CDlgResult::FILTER_CHARS + 1] = "untouched";
        panel->GetFilter(name, text);
        return text;
    }
    void select(std::initializer_list<int> rows) {
        for (int row : rows)
            view()->selectionModel()->select(view()->model()->index(row, 0),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
    }

    std::unique_ptr<CDlgResult> panel;
};

TEST_F(ResultPanel, ColumnsOfTheView) {
    QTableView* list = view();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->model()->columnCount(), 7);
    EXPECT_EQ(list->model()->rowCount(), 10) << "nine results and the 'dummy' row";
    const struct {
        int col;
        const char* name;
        bool hidden;
        int width;
    } columns[] = {{COL_ID, "result_id", true, 0},
                   {COL_ENGINE, "engine", true, 0},
                   {2, "pct", true, 0},
                   {COL_SUBJECT, "subject", false, 565},
                   {COL_SIZE, "size", false, 60},
                   {5, "newsgroup", false, 140},
                   {COL_AGE, "age", false, 30}};
    for (const auto& c : columns) {
        EXPECT_EQ(list->model()->headerData(c.col, Qt::Horizontal).toString(), c.name);
        EXPECT_EQ(list->isColumnHidden(c.col), c.hidden) << c.name;
        if (!c.hidden) {
            EXPECT_EQ(list->horizontalHeader()->sectionSize(c.col), c.width) << c.name;
        }
    }
    EXPECT_EQ(list->model()->index(0, COL_SIZE).data(Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    // Sorted by subject, ascending, from the start.
    EXPECT_EQ(panel->sortColumn(), COL_SUBJECT);
    EXPECT_EQ(cell(1, COL_SUBJECT), "subject 1");
}

TEST_F(ResultPanel, HeaderClicksSort) {
    holdRefreshThread();
    clickHeader(COL_SIZE);
    EXPECT_EQ(panel->sortColumn(), COL_SIZE);
    EXPECT_FALSE(panel->descending());
    EXPECT_TRUE(panel->refreshRequested());
    refreshByHand();
    EXPECT_EQ(cell(9, COL_ID), "id9");

    clickHeader(COL_SIZE);
    EXPECT_EQ(panel->sortColumn(), COL_SIZE);
    EXPECT_TRUE(panel->descending());
    refreshByHand();
    EXPECT_EQ(cell(0, COL_ID), "id9");
    EXPECT_EQ(view()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(COL_AGE);
    EXPECT_EQ(panel->sortColumn(), COL_AGE);
    EXPECT_FALSE(panel->descending());
    refreshByHand();
    EXPECT_EQ(cell(0, COL_ID), "id9") << "the youngest first";
}

TEST_F(ResultPanel, HeaderOfTheOpenEditorDoesNotSort) {
    holdRefreshThread();
    panel->SetFilter("newsgroup", "a.b.test", false);
    rightClickHeader(5);
    ASSERT_EQ(panel->filterColumn(), 5);
    ASSERT_TRUE(editor()->isVisible());
    EXPECT_EQ(editor()->text(), "a.b.test") << "the editor starts with the column's filter";
    EXPECT_EQ(editor()->selectedText(), "a.b.test");
    const QHeaderView* header = view()->horizontalHeader();
    const QPoint corner =
        header->viewport()->mapTo(panel->handle(), QPoint(header->sectionViewportPosition(5), 0));
    EXPECT_EQ(editor()->geometry(), QRect(corner.x() + 4, corner.y() + 1,
                                          header->sectionSize(5) - 2, header->height() - 2));

    panel->OnCmdHdnClick(5);
    EXPECT_EQ(panel->sortColumn(), COL_SUBJECT);
    EXPECT_FALSE(panel->descending());
    EXPECT_FALSE(panel->refreshRequested());
    EXPECT_EQ(header->sortIndicatorSection(), COL_SUBJECT);

    // Another header still sorts while the editor is open.
    clickHeader(COL_SIZE);
    EXPECT_EQ(panel->sortColumn(), COL_SIZE);

    panel->OnHideFilter();
    EXPECT_EQ(panel->filterColumn(), -1);
    EXPECT_FALSE(editor()->isVisible());
}

TEST_F(ResultPanel, EditorTypingFilters) {
    holdRefreshThread();
    rightClickHeader(COL_SUBJECT);
    ASSERT_EQ(panel->filterColumn(), COL_SUBJECT);
    QTest::keyClicks(editor(), "subject 7");
    EXPECT_EQ(filter("subject"), "subject 7");
    EXPECT_TRUE(panel->refreshRequested());
    refreshByHand();
    EXPECT_EQ(column(COL_ID), std::vector<std::string>{"id7"});

    // Past the field's size the editor takes no more.
    editor()->clear();
    QTest::keyClicks(editor(), QString(80, 'w'));
    EXPECT_EQ(filter("subject"), std::string(63, 'w'));

    // Escape ends the editing.
    QTest::keyClick(editor(), Qt::Key_Escape);
    EXPECT_EQ(panel->filterColumn(), -1);
}

// Subjects and typed filters are UTF-8: CJK text is found and shown as typed, and a
// filter too long for its field is cut between characters.
TEST_F(ResultPanel, Utf8SubjectsAndFiltersShowAsTyped) {
    holdRefreshThread();
    const std::string subject = "\u6771\u4eac\u30bf\u30ef\u30fc caf\u00e9 (1/3)";
    insert(resultRow("cjk", subject, 1, 1));
    // Typed as a keyboard's input method delivers them: key events carrying the text.
    auto type = [this](const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(editor(), &press);
        }
    };
    rightClickHeader(COL_SUBJECT);
    type(QString::fromUtf8("\u6771\u4eac"));
    EXPECT_EQ(filter("subject"), "\u6771\u4eac");
    refreshByHand();
    EXPECT_EQ(column(COL_ID), std::vector<std::string>{"cjk"});
    EXPECT_EQ(cell(0, COL_SUBJECT), subject);

    editor()->clear();
    type(QString(40, QChar(0x65E5)));
    EXPECT_EQ(filter("subject"), [] {
        std::string expected;
        for (int i = 0; i < 21; ++i) // 21 characters of 3 bytes fill 63 of the 64
            expected += "\u65e5";
        return expected;
    }());
}

TEST_F(ResultPanel, SetFilterCutsAndKeepsPercent) {
    holdRefreshThread();
    panel->SetFilter("subject", std::string(70, 'x').c_str(), false);
    EXPECT_EQ(filter("subject"), std::string(63, 'x'));
    EXPECT_FALSE(panel->refreshRequested());
    EXPECT_EQ(filter("nosuchcolumn"), "untouched");

    insert(resultRow("p1", "50%off", 1, 1) + resultRow("p2", "50 and more off", 1, 1) +
           resultRow("p3", "off by 50", 1, 1));
    panel->SetFilter("subject", "50%off", true);
    EXPECT_EQ(filter("subject"), "50%off");
    refreshByHand();
    EXPECT_EQ(column(COL_ID), (std::vector<std::string>{"p2", "p1"}))
        << "the % is SQL's wildcard, as typed";

    panel->SetFilter("subject", nullptr, true);
    EXPECT_EQ(filter("subject"), "");
}

// A filter the database cannot run (a bracketed word is taken as SQL as typed) shows what
// the failed read reports; the next sound filter brings the rows back.
TEST_F(ResultPanel, AFilterTheDatabaseRejectsIsSurvived) {
    holdRefreshThread();
    for (const char* broken : {"[)]", "[=(SELECT]", "['']"}) {
        SCOPED_TRACE(broken);
        panel->SetFilter("subject", broken, true);
        refreshByHand();
        EXPECT_EQ(view()->model()->rowCount(), panel->shownPage().rows);
        EXPECT_EQ(view()->model()->columnCount(), 7);
        panel->SetFilter("subject", "subject 4", true);
        refreshByHand();
        EXPECT_EQ(column(COL_ID), std::vector<std::string>{"id4"});
    }
}

TEST_F(ResultPanel, ChangesWithinOnePollingIntervalCauseOneReRead) {
    holdRefreshThread();
    const int before = panel->refreshCount();
    panel->SetFilter("subject", "subject 1", true);
    for (int pass = 0; pass < 4; ++pass)
        EXPECT_FALSE(panel->pollStep()) << "only every fifth pass looks";
    panel->SetFilter("subject", "subject 2", true);
    EXPECT_TRUE(panel->pollStep());
    EXPECT_EQ(panel->refreshCount(), before + 1);
    for (int pass = 0; pass < 10; ++pass)
        panel->pollStep();
    EXPECT_EQ(panel->refreshCount(), before + 1) << "nothing changed since";
    QApplication::processEvents();
    EXPECT_EQ(column(COL_ID), std::vector<std::string>{"id2"}) << "the page has the last change";
}

TEST_F(ResultPanel, RefreshThreadPicksUpChanges) {
    panel->setPollInterval(5);
    panel->SetFilter("subject", "subject 3", true);
    ASSERT_TRUE(waitUntil([&] { return column(COL_ID) == std::vector<std::string>{"id3"}; }));
    EXPECT_FALSE(panel->refreshRequested());
}

TEST_F(ResultPanel, GetSelectedJoinsTheSelectedRowsInListOrder) {
    holdRefreshThread();
    select({7, 2, 4});
    view()->selectionModel()->setCurrentIndex(view()->model()->index(4, 0),
                                              QItemSelectionModel::NoUpdate);
    const struct {
        int mode, column, all;
        const char* separator;
        int quote;
        const char* expected;
    } rows[] = {
        {0, COL_ID, 1, ";", 0, "id2;id4;id7"},
        {0, COL_ID, 1, ";", 1, "'id2';'id4';'id7'"},
        {0, COL_ID, 0, ";", 0, "id2"},
        {0, COL_SUBJECT, 1, ", ", 0, "subject 2, subject 4, subject 7"},
        {2, COL_ID, 1, ";", 0, "id4"},
        {1, COL_ID, 1, ";", 0, ""},
        {0, 40, 1, ";", 0, ""},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(panel->GetSelected(r.mode, r.column, r.all, r.separator, r.quote), r.expected)
            << r.mode << "/" << r.column << "/" << r.all << "/" << r.quote;
}

TEST_F(ResultPanel, SelectionStaysWithItsResultsAcrossARefresh) {
    holdRefreshThread();
    select({2, 3});
    ASSERT_STREQ(panel->GetSelected(0, COL_ID, 1, ";", 0), "id2;id3");
    clickHeader(COL_SUBJECT); // now descending: the rows move
    refreshByHand();
    ASSERT_EQ(cell(0, COL_ID), "id9");
    EXPECT_STREQ(panel->GetSelected(0, COL_ID, 1, ";", 0), "id3;id2");
}

TEST_F(ResultPanel, KeysBecomeCommandsOfTheMainWindow) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int command;
    } keys[] = {
        {Qt::Key_Delete, Qt::NoModifier, 32785}, {Qt::Key_Delete, Qt::ShiftModifier, 32786},
        {Qt::Key_D, Qt::ControlModifier, 32782}, {Qt::Key_U, Qt::ControlModifier, 32783},
        {Qt::Key_I, Qt::ControlModifier, 32784}, {Qt::Key_D, Qt::NoModifier, 0},
        {Qt::Key_Down, Qt::NoModifier, 0},
    };
    for (const auto& k : keys) {
        main.commands.clear();
        QTest::keyClick(view(), k.key, k.modifiers);
        if (k.command) {
            ASSERT_EQ(main.commands.size(), 1u) << k.command;
            EXPECT_EQ(main.commands[0].id, k.command);
            EXPECT_EQ(main.commands[0].code, BN_CLICKED);
        } else {
            EXPECT_TRUE(main.commands.empty()) << k.key;
        }
    }
}

TEST_F(ResultPanel, RightClicksOnRowsAndOnTheHeader) {
    QMenu* results = CWnd::findMenu(main.handle(), "&Results");
    ASSERT_TRUE(results);
    rightClickHeader(COL_SIZE);
    EXPECT_EQ(panel->filterColumn(), COL_SIZE);
    EXPECT_FALSE(results->isVisible()) << "the header opens the editor, not the menu";

    const QPoint at = view()->visualRect(view()->model()->index(1, COL_SUBJECT)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view()->viewport(), &event);
    ASSERT_TRUE(waitUntil([&] { return results->isVisible(); }));
    // Its commands go to the main window.
    main.commands.clear();
    results->actions().first()->trigger();
    ASSERT_EQ(main.commands.size(), 1u);
    EXPECT_EQ(main.commands[0].id, MainStandIn::RESULTS_COMMAND);
    results->hide();
}

// Display reads while the refresh thread rebuilds pages as fast as it can: every row on
// screen must be a whole row of one page (its subject names its id), never a mix.
TEST_F(ResultPanel, DisplayNeverReadsAPageBeingRebuilt) {
    std::string rows;
    for (int i = 10; i < 400; ++i)
        rows += resultRow("id" + std::to_string(i), "subject " + std::to_string(i), i, i % 50);
    insert(rows);
    panel->setPollInterval(1);
    const char* filters[] = {"subject 1", "subject 2", "", "subject 3"};
    QElapsedTimer clock;
    clock.start();
    int checkedRows = 0;
    const int startCount = panel->refreshCount();
    const int wanted = 30; // pages rebuilt while the window reads
    for (int round = 0;
         round < 100000 && panel->refreshCount() - startCount < wanted && clock.elapsed() < 15000;
         ++round) {
        panel->SetFilter("subject", filters[round % 4], true);
        QApplication::processEvents();
        const tRecordData& page = panel->shownPage();
        const int shown = view()->model()->rowCount();
        ASSERT_EQ(shown, page.rows);
        for (int row = 0; row < shown; ++row) {
            const std::string id = cell(row, COL_ID);
            if (id == "dummy") continue;
            ASSERT_EQ("subject " + id.substr(2), cell(row, COL_SUBJECT)) << "row " << row;
            ++checkedRows;
        }
    }
    EXPECT_GE(panel->refreshCount() - startCount, wanted);
    EXPECT_GT(checkedRows, 0);
}

TEST_F(ResultPanel, DestroyedWhileAPageIsOnItsWay) {
    holdRefreshThread();
    panel->SetFilter("subject", "subject", true);
    for (int pass = 0; pass < 5; ++pass)
        panel->pollStep();
    ASSERT_EQ(panel->refreshCount(), 1);
    panel.reset(); // the parked page is never shown, and nothing runs on a dead panel
    QApplication::processEvents();
    SUCCEED();
}

} // namespace
