// The window framework with real widgets on the offscreen platform: the dispatch rule,
// the splitter's geometry and its bar, the list view's cell requests and notifications,
// column widths in a real profile file, centring and toolbar check marks.
#include "cSplitter.h"
#include "listView.h"
#include "profile.h"
#include "windowFunctions.h"

#include "ProcessEventsUntil.h"
#include "TestFolders.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScreen>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string handler;
    HWND hwnd;
    uintptr_t wParam;
    intptr_t lParam;
};

// Registers two handlers for WM_COMMAND (only the first may count) and, on request, one
// for WM_CLOSE that keeps the window.
class Probe : public cWnd {
  public:
    explicit Probe(bool handleClose = false) {
        AddHandler(WM_COMMAND, &Probe::onCommand);
        AddHandler(WM_COMMAND, &Probe::onCommandAgain);
        if (handleClose) AddHandler(WM_CLOSE, &Probe::onClose);
    }

    std::vector<Call> calls;

  private:
    void onCommand(HWND hwnd, uintptr_t wParam, intptr_t lParam) {
        calls.push_back({"command", hwnd, wParam, lParam});
    }
    void onCommandAgain(HWND hwnd, uintptr_t wParam, intptr_t lParam) {
        calls.push_back({"second command", hwnd, wParam, lParam});
    }
    void onClose(HWND hwnd, uintptr_t wParam, intptr_t lParam) {
        calls.push_back({"close", hwnd, wParam, lParam});
    }
};

TEST(Dispatch, TheFirstRegistrationHandlesAndTheAnswerIsOne) {
    Probe probe;
    auto* window = new QWidget;
    probe.takeOver(window);

    EXPECT_EQ(1, cWnd::sendMessage(window, WM_COMMAND, 7, 9));
    ASSERT_EQ(1u, probe.calls.size());
    EXPECT_EQ("command", probe.calls[0].handler);
    EXPECT_EQ(window, probe.calls[0].hwnd);
    EXPECT_EQ(7u, probe.calls[0].wParam);
    EXPECT_EQ(9, probe.calls[0].lParam);
}

TEST(Dispatch, UnhandledMessagesGoToThePreviousProcedure) {
    Probe probe;
    auto* window = new QWidget;
    probe.takeOver(window);
    std::vector<Call> forwarded;
    probe.setPreviousProcedure([&](HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
        forwarded.push_back({std::to_string(msg), hwnd, wParam, lParam});
        return intptr_t{42};
    });

    EXPECT_EQ(42, cWnd::sendMessage(window, WM_USER + 50, 3, 4));
    EXPECT_EQ(1, cWnd::sendMessage(window, WM_COMMAND, 5, 6));
    ASSERT_EQ(1u, forwarded.size());
    EXPECT_EQ(std::to_string(WM_USER + 50), forwarded[0].handler);
    EXPECT_EQ(window, forwarded[0].hwnd);
    EXPECT_EQ(3u, forwarded[0].wParam);
    EXPECT_EQ(4, forwarded[0].lParam);
    EXPECT_EQ(1u, probe.calls.size());
}

TEST(Dispatch, UnhandledMessagesAnswerZeroWithoutPreviousProcedure) {
    Probe pane;
    auto* dialog = new QWidget;
    pane.takeOver(dialog, 105);
    EXPECT_EQ(105, pane.dialogTemplateId());
    EXPECT_EQ(0, cWnd::sendMessage(dialog, WM_USER + 50, 1, 2));

    Probe plain;
    auto* window = new QWidget;
    plain.takeOver(window);
    EXPECT_EQ(0, cWnd::sendMessage(window, WM_USER + 50, 1, 2));
}

TEST(Dispatch, QtClosesAWindowWhoseObjectLeavesTheCloseUnhandled) {
    Probe plain;
    auto* window = new QWidget;
    plain.takeOver(window);
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());

    Probe keeping(true);
    auto* kept = new QWidget;
    keeping.takeOver(kept);
    kept->show();
    EXPECT_FALSE(kept->close());
    EXPECT_TRUE(kept->isVisible());
    ASSERT_EQ(1u, keeping.calls.size());
    EXPECT_EQ("close", keeping.calls[0].handler);
}

TEST(Dispatch, TheCreationMessageStoresTheObjectAndAWindowWithoutOneAnswersZero) {
    QWidget window;
    EXPECT_EQ(nullptr, cWnd::userData(&window));
    EXPECT_EQ(0, cWnd::WindowProcStatic(&window, WM_COMMAND, 1, 2));

    Probe probe;
    EXPECT_EQ(1,
              cWnd::WindowProcStatic(&window, WM_NCCREATE, 0, reinterpret_cast<intptr_t>(&probe)));
    EXPECT_EQ(&probe, cWnd::userData(&window));
    EXPECT_EQ(1, cWnd::WindowProcStatic(&window, WM_COMMAND, 1, 2));
    ASSERT_EQ(1u, probe.calls.size());
    EXPECT_EQ(&window, probe.calls[0].hwnd);
    cWnd::setUserData(&window, nullptr);
}

// A splitter inside a top-level host window, with two plain panes.
class SplitterTest : public ::testing::Test {
  protected:
    void SetUp() override { host->resize(1200, 900); }

    void build(unsigned char orientation, int position, int minimum) {
        ASSERT_EQ(0, splitter.create(host.get(), orientation, position, minimum));
        first = new QWidget;
        second = new QWidget;
        splitter.setPanes(first, second);
    }
    void resizeTo(int width, int height) { splitter.handle()->setGeometry(0, 0, width, height); }
    void drop(int x, int y) {
        cWnd::sendMessage(splitter.handle(), WM_NOTIFY_TRACKBAR, 0, makeParam(x, y));
    }
    // Presses the bar, moves the pointer by `shift` and releases it, as a user does.
    void drag(QPoint shift) {
        QWidget* bar = splitter.bar();
        const QPoint grab(bar->width() / 2, bar->height() / 2);
        const QPoint grabScreen = bar->mapToGlobal(grab);
        QMouseEvent press(QEvent::MouseButtonPress, grab, grabScreen, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &press);
        QMouseEvent move(QEvent::MouseMove, grab + shift, grabScreen + shift, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, grab + shift, grabScreen + shift,
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &release);
    }

    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    cSplitter splitter; // after the host: goes first
    QWidget* first = nullptr;
    QWidget* second = nullptr;
};

TEST_F(SplitterTest, CreatingAgainAnswers6AndKeepsTheWindow) {
    build(0, 150, 20);
    HWND window = splitter.handle();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(host.get(), window->parentWidget());
    EXPECT_EQ(window, splitter.bar()->parentWidget());
    EXPECT_EQ(window, first->parentWidget());
    EXPECT_EQ(6, splitter.create(host.get()));
    EXPECT_EQ(6, splitter.create(host.get(), 1, 300, 1));
    EXPECT_EQ(window, splitter.handle());
    EXPECT_EQ(150, splitter.getPosition());
}

TEST_F(SplitterTest, SideBySideTheLeftPaneKeepsItsWidthUntilTheSplitterIsNarrower) {
    host->show();
    build(0, 150, 20);
    resizeTo(600, 400);
    EXPECT_EQ(QRect(0, 0, 150, 400), first->geometry());
    EXPECT_EQ(QRect(150, 0, 5, 400), splitter.bar()->geometry());
    EXPECT_EQ(QRect(155, 0, 445, 400), second->geometry());

    resizeTo(900, 300);
    EXPECT_EQ(QRect(0, 0, 150, 300), first->geometry());
    EXPECT_EQ(QRect(155, 0, 745, 300), second->geometry());

    resizeTo(100, 300);
    EXPECT_EQ(95, splitter.getPosition());
    EXPECT_EQ(QRect(0, 0, 95, 300), first->geometry());
    EXPECT_EQ(QRect(95, 0, 5, 300), splitter.bar()->geometry());
    EXPECT_EQ(100, second->x());
    EXPECT_EQ(Qt::SplitHCursor, splitter.bar()->cursor().shape());
}

TEST_F(SplitterTest, StackedTheFirstShownSizeFixesTheBottomHeight) {
    // As the main window does it: everything is built and sized before the window shows.
    build(1, 290, 1);
    resizeTo(800, 500);
    EXPECT_EQ(0, splitter.getSecondSize());
    host->show();
    EXPECT_EQ(290, splitter.getPosition());
    EXPECT_EQ(210, splitter.getSecondSize());
    EXPECT_EQ(QRect(0, 0, 800, 290), first->geometry());
    EXPECT_EQ(QRect(0, 290, 800, 5), splitter.bar()->geometry());
    EXPECT_EQ(QRect(0, 295, 800, 205), second->geometry());
    EXPECT_EQ(Qt::SplitVCursor, splitter.bar()->cursor().shape());

    // Growing gives the gain to the top pane, shrinking takes it from there.
    resizeTo(800, 700);
    EXPECT_EQ(490, splitter.getPosition());
    EXPECT_EQ(QRect(0, 495, 800, 205), second->geometry());
    resizeTo(640, 300);
    EXPECT_EQ(90, splitter.getPosition());
    EXPECT_EQ(QRect(0, 0, 640, 90), first->geometry());
    EXPECT_EQ(QRect(0, 95, 640, 205), second->geometry());
}

TEST_F(SplitterTest, StackedTheFirstLayoutLeavesTheBottomPaneAtLeastOnePixel) {
    build(1, 290, 1);
    resizeTo(700, 200);
    host->show();
    EXPECT_EQ(6, splitter.getSecondSize());
    EXPECT_EQ(194, splitter.getPosition());
    EXPECT_EQ(QRect(0, 199, 700, 1), second->geometry());
}

TEST_F(SplitterTest, SizesWhileMinimizedOrHiddenAreIgnored) {
    host->show();
    build(0, 150, 20);
    resizeTo(600, 400);
    cWnd::sendMessage(splitter.handle(), WM_SIZE, SIZE_MINIMIZED, makeParam(100, 100));
    EXPECT_EQ(QRect(0, 0, 150, 400), first->geometry());

    splitter.handle()->hide();
    resizeTo(100, 300);
    EXPECT_EQ(150, splitter.getPosition());
}

TEST_F(SplitterTest, SideBySideDropsOutsideTheLimitsGoBackToTheMinimum) {
    host->show();
    build(0, 150, 20);
    resizeTo(600, 400);

    drop(300, 0);
    EXPECT_EQ(300, splitter.getPosition());
    EXPECT_EQ(300, splitter.getSecondSize());
    EXPECT_EQ(QRect(0, 0, 300, 400), first->geometry());
    EXPECT_EQ(QRect(305, 0, 295, 400), second->geometry());
    EXPECT_TRUE(splitter.bar()->isVisible());

    for (int x : {5, 2001, -3}) { // -3: a drop left of the splitter wraps to 65533
        splitter.bar()->move(x, 0);
        drop(x, 0);
        EXPECT_EQ(20, splitter.getPosition()) << x;
        EXPECT_EQ(QPoint(20, 0), splitter.bar()->pos()) << x;
        EXPECT_EQ(QRect(0, 0, 20, 400), first->geometry()) << x;
        EXPECT_EQ(QRect(25, 0, 575, 400), second->geometry()) << x;
        EXPECT_TRUE(splitter.bar()->isVisible()) << x;
    }

    drop(2000, 0);
    EXPECT_EQ(2000, splitter.getPosition());
}

TEST_F(SplitterTest, StackedDropSetsTheBottomHeightLaterResizesKeep) {
    host->show();
    build(1, 290, 1);
    resizeTo(600, 400);
    drop(0, 100);
    EXPECT_EQ(100, splitter.getPosition());
    EXPECT_EQ(300, splitter.getSecondSize());
    EXPECT_EQ(QRect(0, 0, 600, 100), first->geometry());
    EXPECT_EQ(QRect(0, 105, 600, 295), second->geometry());

    resizeTo(600, 500);
    EXPECT_EQ(200, splitter.getPosition());

    drop(0, 0);
    EXPECT_EQ(1, splitter.getPosition());
    EXPECT_EQ(QPoint(0, 1), splitter.bar()->pos());
}

TEST_F(SplitterTest, DraggingTheBarMovesItAlongItsAxisOnlyAndLaysOutOnRelease) {
    build(1, 290, 1);
    resizeTo(600, 400);
    host->show();
    drag(QPoint(50, -90));
    EXPECT_EQ(QPoint(0, 200), splitter.bar()->pos());
    EXPECT_EQ(200, splitter.getPosition());
    EXPECT_EQ(QRect(0, 0, 600, 200), first->geometry());
    EXPECT_EQ(QRect(0, 205, 600, 195), second->geometry());
}

TEST_F(SplitterTest, DraggingAVerticalBarMovesItSideways) {
    host->show();
    build(0, 150, 20);
    resizeTo(600, 400);
    drag(QPoint(-140, 70));
    EXPECT_EQ(QPoint(20, 0), splitter.bar()->pos()); // 10 is below the minimum
    EXPECT_EQ(20, splitter.getPosition());
    drag(QPoint(200, 10));
    EXPECT_EQ(QPoint(220, 0), splitter.bar()->pos());
    EXPECT_EQ(QRect(0, 0, 220, 400), first->geometry());
}

TEST(SplitterInAMainWindow, TheStartPositionsHoldWhenTheWindowIsFirstShown) {
    // Built hidden, as the main window builds its panes: an outer stacked splitter as the
    // central widget, an inner side-by-side one as its upper pane.
    auto* main = new QMainWindow;
    main->resize(800, 500);
    cSplitter outer;
    cSplitter inner;
    ASSERT_EQ(0, outer.create(main, 1, 290, 1));
    main->setCentralWidget(outer.handle());
    ASSERT_EQ(0, inner.create(outer.handle(), 0, 150, 1));
    auto* posts = new QWidget;
    auto* files = new QWidget;
    auto* servers = new QWidget;
    inner.setPanes(posts, files);
    outer.setPanes(inner.handle(), servers);
    main->show();

    const QSize area = outer.handle()->size();
    EXPECT_EQ(290, outer.getPosition());
    EXPECT_EQ(area.height() - 290, outer.getSecondSize());
    EXPECT_EQ(QRect(0, 0, area.width(), 290), inner.handle()->geometry());
    EXPECT_EQ(QRect(0, 0, 150, 290), posts->geometry());
    EXPECT_EQ(QRect(155, 0, area.width() - 155, 290), files->geometry());
    EXPECT_EQ(QRect(0, 295, area.width(), area.height() - 295), servers->geometry());

    main->resize(900, 650);
    ASSERT_TRUE(processEventsUntil([&] { return outer.handle()->height() > area.height(); }));
    EXPECT_EQ(outer.handle()->height() - (area.height() - 290), outer.getPosition());
    EXPECT_EQ(area.height() - 290 - SPLITTER_BAR, servers->height());
    EXPECT_EQ(150, posts->width());
    delete main;
}

// What a list's parent saw of one notification.
struct Notice {
    int code = 0;
    int id = 0;
    HWND from = nullptr;
    int row = -1;
    int column = -1;
    QPoint point;
    int key = 0;
    int selectedThen = -1;
};

// A pane holding one list: answers cell requests with "row:column" and image row % 3,
// and records the rows asked and every other notification.
class ListPane : public cWnd {
  public:
    static constexpr int LIST = 1004;

    ListPane(bool ownerData, const std::vector<const char*>& titles,
             const std::vector<int>& widths) {
        AddHandler(WM_NOTIFY, &ListPane::on_WM_NOTIFY);
        auto* pane = new QWidget;
        takeOver(pane);
        list = new cListView(pane, LIST, ownerData, true);
        std::vector<const char*> terminated = titles;
        terminated.push_back(nullptr);
        LVN_setheaders(list, terminated.data(), widths.data());
        pane->resize(500, 300);
        list->setGeometry(0, 0, 500, 300);
    }
    std::vector<Notice> of(int code) const {
        std::vector<Notice> found;
        for (const Notice& notice : notices)
            if (notice.code == code) found.push_back(notice);
        return found;
    }
    std::vector<int> widths() const {
        std::vector<int> found;
        for (int column = 0; column < list->columns(); ++column)
            found.push_back(list->columnWidth(column));
        return found;
    }

    cListView* list;
    std::set<int> rowsAsked;
    std::set<int> columnsAsked;
    std::set<int> imageRowsAsked;
    std::vector<Notice> notices;

  private:
    void on_WM_NOTIFY(HWND, uintptr_t id, intptr_t lParam) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == LVN_GETDISPINFO) {
            LVITEM& item = reinterpret_cast<NMLVDISPINFO*>(lParam)->item;
            if (item.mask & LVIF_TEXT) {
                rowsAsked.insert(item.iItem);
                columnsAsked.insert(item.iSubItem);
                std::snprintf(item.pszText, item.cchTextMax, "%d:%d", item.iItem, item.iSubItem);
            }
            if (item.mask & LVIF_IMAGE) {
                imageRowsAsked.insert(item.iItem);
                item.iImage = item.iItem % 3;
            }
            return;
        }
        Notice notice;
        notice.code = header->code;
        notice.id = static_cast<int>(id);
        notice.from = header->hwndFrom;
        notice.selectedThen = list->firstSelected();
        if (header->code == NM_CLICK || header->code == NM_RCLICK) {
            auto* click = reinterpret_cast<NMITEMACTIVATE*>(lParam);
            notice.row = click->iItem;
            notice.column = click->iSubItem;
            notice.point = click->ptAction;
        }
        if (header->code == LVN_KEYDOWN) notice.key = reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey;
        notices.push_back(notice);
    }
};

std::vector<QIcon> threeIcons() {
    std::vector<QIcon> icons;
    for (Qt::GlobalColor color : {Qt::red, Qt::green, Qt::blue}) {
        QPixmap pixmap(16, 16);
        pixmap.fill(color);
        icons.emplace_back(pixmap);
    }
    return icons;
}

QString cellText(cListView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}

// Clicks the viewport at `point` with `button`: press and release, as the user does.
void click(cListView* list, QPoint point, Qt::MouseButton button) {
    const QPoint screen = list->viewport()->mapToGlobal(point);
    QMouseEvent press(QEvent::MouseButtonPress, point, screen, button, button, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, screen, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
}

void press(cListView* list, Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(list, &down);
}

TEST(VirtualList, OnlyTheVisibleRowsAreAskedFor) {
    ListPane pane(true, {"Subject", "par2", "Size", "progress"}, {200, 50, 75, 100});
    pane.list->setImages(threeIcons());
    pane.list->setItemCount(100000);
    EXPECT_EQ(100000, pane.list->itemCount());
    pane.handle()->show();
    ASSERT_TRUE(processEventsUntil([&] { return !pane.rowsAsked.empty(); }));
    QApplication::processEvents();

    EXPECT_LT(pane.rowsAsked.size(), 60u);
    EXPECT_LT(*pane.rowsAsked.rbegin(), 60);
    EXPECT_EQ((std::set<int>{0, 1, 2, 3}), pane.columnsAsked);
    EXPECT_EQ(pane.rowsAsked, pane.imageRowsAsked);
    EXPECT_EQ("2:3", cellText(pane.list, 2, 3));
    EXPECT_FALSE(pane.list->model()->index(4, 0).data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(pane.list->model()->index(4, 1).data(Qt::DecorationRole).isNull());

    pane.rowsAsked.clear();
    pane.list->scrollTo(pane.list->model()->index(70000, 0));
    ASSERT_TRUE(processEventsUntil([&] { return pane.rowsAsked.count(70000) != 0; }));
    QApplication::processEvents();
    EXPECT_LT(pane.rowsAsked.size(), 120u);
    EXPECT_GT(*pane.rowsAsked.begin(), 69000);
}

TEST(VirtualList, ARedrawnCellIsAskedAgain) {
    ListPane pane(true, {"Subject", "progress"}, {200, 100});
    pane.list->setItemCount(50);
    pane.handle()->show();
    ASSERT_TRUE(processEventsUntil([&] { return pane.rowsAsked.count(3) != 0; }));
    QApplication::processEvents();

    pane.rowsAsked.clear();
    pane.list->redrawCell(3, 1);
    pane.list->redrawCell(5000, 1); // past the end: nothing
    ASSERT_TRUE(processEventsUntil([&] { return pane.rowsAsked.count(3) != 0; }));
    EXPECT_LT(pane.rowsAsked.size(), 3u);
}

TEST(VirtualList, ANewCountKeepsTheSelectionBelowItAndTheWidths) {
    ListPane pane(true, {"Subject", "Size"}, {230, 70});
    pane.list->setItemCount(100000);
    pane.list->selectRow(40);
    pane.list->selectionModel()->select(pane.list->model()->index(7, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ((std::vector<int>{7, 40}), pane.list->selectedRows());

    pane.list->setItemCount(100001);
    EXPECT_EQ((std::vector<int>{7, 40}), pane.list->selectedRows());
    pane.list->setItemCount(20);
    EXPECT_EQ(20, pane.list->itemCount());
    EXPECT_EQ((std::vector<int>{7}), pane.list->selectedRows());
    EXPECT_EQ(7, pane.list->firstSelected());
    EXPECT_EQ((std::vector<int>{230, 70}), pane.widths());
    pane.list->setItemCount(0);
    EXPECT_EQ(-1, pane.list->firstSelected());
}

TEST(ListNotifications, ClicksReachTheParentAfterTheSelectionWithTheRowUnderThePointer) {
    ListPane pane(true, {"Subject", "Size"}, {200, 80});
    pane.list->setItemCount(30);
    pane.handle()->show();

    const QRect cell = pane.list->visualRect(pane.list->model()->index(3, 1));
    click(pane.list, cell.center(), Qt::LeftButton);
    std::vector<Notice> clicks = pane.of(NM_CLICK);
    ASSERT_EQ(1u, clicks.size());
    EXPECT_EQ(ListPane::LIST, clicks[0].id);
    EXPECT_EQ(pane.list, clicks[0].from);
    EXPECT_EQ(3, clicks[0].row);
    EXPECT_EQ(1, clicks[0].column);
    EXPECT_EQ(3, clicks[0].selectedThen);
    // In the list's coordinates, where the header lies above the rows.
    EXPECT_GT(clicks[0].point.y(), pane.list->header()->height() + cell.top());

    const QRect other = pane.list->visualRect(pane.list->model()->index(7, 0));
    click(pane.list, other.center(), Qt::RightButton);
    std::vector<Notice> rightClicks = pane.of(NM_RCLICK);
    ASSERT_EQ(1u, rightClicks.size());
    EXPECT_EQ(7, rightClicks[0].row);
    EXPECT_EQ(0, rightClicks[0].column);

    pane.list->setItemCount(2);
    click(pane.list, QPoint(5, pane.list->viewport()->height() - 5), Qt::LeftButton);
    clicks = pane.of(NM_CLICK);
    ASSERT_EQ(2u, clicks.size());
    EXPECT_EQ(-1, clicks[1].row);
    EXPECT_EQ(0, clicks[1].column);
}

TEST(ListNotifications, KeysReachTheParentAsVirtualKeysBeforeTheListMoves) {
    ListPane pane(true, {"Subject"}, {200});
    pane.list->setItemCount(30);
    pane.handle()->show();
    pane.list->selectRow(2);

    press(pane.list, Qt::Key_Down);
    EXPECT_EQ(3, pane.list->firstSelected());
    for (Qt::Key key : {Qt::Key_Delete, Qt::Key_Space, Qt::Key_1, Qt::Key_D, Qt::Key_R})
        press(pane.list, key);

    std::vector<Notice> keys = pane.of(LVN_KEYDOWN);
    std::vector<int> codes;
    for (const Notice& key : keys)
        codes.push_back(key.key);
    EXPECT_EQ((std::vector<int>{40, 46, 32, '1', 'D', 'R'}), codes);
    EXPECT_EQ(2, keys.front().selectedThen);
}

TEST(ListNotifications, OnlyTheUsersWidthChangesAreReported) {
    TempFolder folder;
    const std::string ini = folder.file("config.ini");
    ListPane pane(true, {"Subject", "Size"}, {200, 80});
    pane.handle()->show();
    LVN_loadheaderwidth(pane.list, "USERINTERFACE", "hdrfiles", ini.c_str());
    EXPECT_EQ((std::vector<int>{100, 100}), pane.widths());
    EXPECT_TRUE(pane.of(HDN_ITEMCHANGED).empty());

    pane.list->header()->resizeSection(1, 123); // what dragging the header's edge does
    std::vector<Notice> changes = pane.of(HDN_ITEMCHANGED);
    ASSERT_EQ(1u, changes.size());
    EXPECT_EQ(ListPane::LIST, changes[0].id);
    EXPECT_EQ(pane.list, changes[0].from);
}

TEST(RealRows, AnInsertedTextIsCutAtItsTabsIntoColumns) {
    ListPane pane(false, {"host", "KB/s", "delay", "activity"}, {150, 40, 50, 500});
    char first[] = "news.example.net\t12\t30\tidle\tbeyond the columns";
    LVN_insert_item(pane.list, 0, first);
    EXPECT_STREQ("news.example.net", first);
    char second[] = "backup.example.net";
    LVN_insert_item(pane.list, 0, second);

    ASSERT_EQ(2, pane.list->itemCount());
    EXPECT_EQ("backup.example.net", cellText(pane.list, 0, 0));
    EXPECT_EQ("", cellText(pane.list, 0, 3));
    EXPECT_EQ("news.example.net", cellText(pane.list, 1, 0));
    EXPECT_EQ("12", cellText(pane.list, 1, 1));
    EXPECT_EQ("30", cellText(pane.list, 1, 2));
    EXPECT_EQ("idle", cellText(pane.list, 1, 3));

    pane.list->setItemText(1, 3, "active");
    EXPECT_EQ("active", cellText(pane.list, 1, 3));
    pane.list->setImages(threeIcons());
    pane.list->setItemImage(1, 2);
    pane.list->setItemImage(0, 3); // no such image
    EXPECT_FALSE(pane.list->model()->index(1, 0).data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(pane.list->model()->index(0, 0).data(Qt::DecorationRole).isNull());

    pane.list->deleteItem(0);
    EXPECT_EQ("news.example.net", cellText(pane.list, 0, 0));
    pane.list->deleteAllItems();
    EXPECT_EQ(0, pane.list->itemCount());
    EXPECT_TRUE(pane.rowsAsked.empty());
}

TEST(WidthList, ParsingTakesAtMost32NumbersAndSkipsEmptyPieces) {
    EXPECT_EQ((std::vector<int>{500, 50, 75, 100}), parseWidthList("500;50;75;100;"));
    EXPECT_EQ((std::vector<int>{500, 50}), parseWidthList("500;50"));
    EXPECT_EQ((std::vector<int>{0, 20}), parseWidthList("wide;20"));
    EXPECT_EQ(std::vector<int>{}, parseWidthList(""));
    std::string many;
    for (int i = 1; i <= 40; ++i)
        many += std::to_string(i) + ";";
    std::vector<int> first32;
    for (int i = 1; i <= 32; ++i)
        first32.push_back(i);
    EXPECT_EQ(first32, parseWidthList(many.c_str()));
}

TEST(WidthList, StoredWidthsSetTheFirstColumnsAndSavedOnesEndWithASemicolon) {
    TempFolder folder;
    const std::string ini = folder.file("config.ini");
    ListPane pane(true, {"Subject", "par2", "Size", "progress"}, {500, 50, 75, 100});

    LVN_saveheaderwidth(pane.list, "USERINTERFACE", "hdrfiles", ini.c_str());
    EXPECT_EQ("500;50;75;100;", profile::getString("USERINTERFACE", "hdrfiles", "", ini.c_str()));

    profile::writeString("USERINTERFACE", "hdrfiles", "320;44", ini.c_str());
    LVN_loadheaderwidth(pane.list, "USERINTERFACE", "hdrfiles", ini.c_str());
    EXPECT_EQ((std::vector<int>{320, 44, 75, 100}), pane.widths());

    LVN_saveheaderwidth(pane.list, "USERINTERFACE", "hdrfiles", ini.c_str());
    EXPECT_NE(std::string::npos, readFile(ini).find("hdrfiles=320;44;75;100;"));

    LVN_loadheaderwidth(pane.list, "USERINTERFACE", "absent", ini.c_str());
    EXPECT_EQ((std::vector<int>{100, 100, 100, 100}), pane.widths());
}

TEST(WidthList, AListOfMoreThan32NumbersSetsOnlyTheFirst32Columns) {
    TempFolder folder;
    const std::string ini = folder.file("config.ini");
    std::vector<std::string> names;
    for (int i = 0; i < 34; ++i)
        names.push_back("c" + std::to_string(i));
    std::vector<const char*> titles;
    for (const std::string& name : names)
        titles.push_back(name.c_str());
    ListPane pane(false, titles, std::vector<int>(34, 60));

    std::string stored;
    for (int i = 0; i < 40; ++i)
        stored += std::to_string(10 + i) + ";";
    profile::writeString("USERINTERFACE", "hdrclient", stored.c_str(), ini.c_str());
    LVN_loadheaderwidth(pane.list, "USERINTERFACE", "hdrclient", ini.c_str());

    std::vector<int> expected;
    for (int i = 0; i < 32; ++i)
        expected.push_back(10 + i);
    expected.push_back(60);
    expected.push_back(60);
    EXPECT_EQ(expected, pane.widths());
}

TEST(Centring, ADialogCentresOverItsParentWindow) {
    QWidget parent;
    parent.setGeometry(100, 50, 401, 300);
    auto* dialog = new QWidget(&parent, Qt::Dialog);
    dialog->resize(200, 101);
    centerWindow(dialog);
    EXPECT_EQ(QPoint(100 + 100, 50 + 99), dialog->pos());
    EXPECT_EQ(QSize(200, 101), dialog->size());

    // Wider than the parent: the half of a negative difference truncates toward zero.
    dialog->resize(501, 300);
    centerWindow(dialog);
    EXPECT_EQ(QPoint(100 - 50, 50), dialog->pos());
    EXPECT_EQ(dialog, getrootWindow(dialog));
}

TEST(Centring, AWindowWithoutParentCentresOnTheScreen) {
    QWidget window;
    window.resize(301, 200);
    centerWindow(&window);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(QPoint((screen.width() - 301) / 2, (screen.height() - 200) / 2), window.pos());
    EXPECT_EQ(&window, getrootWindow(&window));
}

TEST(Centring, AChildCentresInsideItsParent) {
    QWidget top;
    auto* inner = new QWidget(&top);
    inner->setGeometry(30, 30, 400, 300);
    auto* child = new QWidget(inner);
    child->resize(101, 50);
    centerWindow(child);
    EXPECT_EQ(QPoint(149, 125), child->pos());
    EXPECT_EQ(&top, getrootWindow(child));
}

TEST(Toolbar, CheckMarksFollowTheCommandId) {
    QToolBar toolbar;
    QAction* queue = toolbar.addAction("queue");
    setCommandId(queue, 32782);
    QAction* decoder = toolbar.addAction("decoder");
    setCommandId(decoder, 32783);
    toolbar.addSeparator();
    EXPECT_EQ(32782, commandId(queue));

    TBN_setchecked(&toolbar, 32782, 1);
    EXPECT_TRUE(queue->isChecked());
    EXPECT_FALSE(decoder->isChecked());
    TBN_setchecked(&toolbar, 32783, 5);
    EXPECT_TRUE(decoder->isChecked());
    TBN_setchecked(&toolbar, 32782, 0);
    EXPECT_FALSE(queue->isChecked());
    TBN_setchecked(&toolbar, 40000, 1); // no such button
    EXPECT_TRUE(decoder->isChecked());
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
