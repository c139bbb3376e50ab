#include "CDlgResult.h"

#include "CMiravel.h"
#include "ListNotify.h"
#include "ResultTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

// The looking pass of the refresh loop comes after this many passes.
const int kPassesPerLook = 5;
const int kCellChars = 127;
const int kListMarginRight = 5;

// Which result a row shows: its identifier and engine, which the database keeps unique.
std::string rowKey(const tRecordData& page, int row, int engineCol) {
    std::string key = page.cell(row, 0);
    if (engineCol > 0) {
        key += '\n';
        key += page.cell(row, engineCol);
    }
    return key;
}

} // namespace

CDlgResult::CDlgResult(CMiravel& miravel, const char* view)
    : miravel(miravel), pages(view), relay(std::make_unique<QObject>()) {
    model = std::make_unique<ResultTableModel>(pages);
    readNow();
}

void CDlgResult::readNow() {
    auto fresh = pages.blank();
    miravel.selectData(*fresh);
    model->showPage(std::move(fresh));
    if (pageShown) pageShown();
}

QString CDlgResult::activeFilters() const {
    return model->activeFilters();
}

CDlgResult::~CDlgResult() {
    stop();
    relay.reset();
    if (QTableView* view = list()) view->setModel(nullptr);
}

void CDlgResult::buildTemplate(QWidget* dialog, int) {
    auto* view = new QTableView(dialog);
    view->setModel(model.get());
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setTabKeyNavigation(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionsClickable(true);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setSortIndicatorShown(true);
    view->setFocusPolicy(Qt::StrongFocus);
    bindControl(view, IDC_LIST);
    translateListEvents(view);

    auto* edit = new QLineEdit(dialog);
    edit->setMaxLength(FILTER_CHARS);
    edit->setGeometry(0, 0, 0, 0);
    edit->hide();
    bindControl(edit, IDC_FILTER);
}

QTableView* CDlgResult::list() const {
    return qobject_cast<QTableView*>(item(IDC_LIST));
}

QLineEdit* CDlgResult::editor() const {
    return qobject_cast<QLineEdit*>(item(IDC_FILTER));
}

QWidget* CDlgResult::mainWindow() const {
    return handle() ? dialogOf(handle()) : nullptr;
}

intptr_t CDlgResult::WndProcCustom(QWidget*, unsigned message, uintptr_t wparam, intptr_t lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnCmdInitDialog();
    case WM_SIZE:
        OnCmdSize(wparam, loWord(lparam), hiWord(lparam));
        return 0;
    case WM_NOTIFY:
        return lparam ? OnCmdNotify(*reinterpret_cast<const ListNotify*>(lparam)) : 0;
    case WM_COMMAND:
        return OnCmdCommand(wparam);
    case WM_CONTEXTMENU:
        return OnCmdContextMenu(reinterpret_cast<QWidget*>(wparam), loShort(lparam),
                                hiShort(lparam));
    default:
        return 0;
    }
}

intptr_t CDlgResult::OnCmdInitDialog() {
    // Filters set since construction (the engine tab's) hold for the first page shown.
    readNow();
    applyColumns();
    showSortIndicator();
    start(nullptr, nullptr);
    return 1;
}

void CDlgResult::applyColumns() {
    QTableView* view = list();
    if (!view) return;
    const tRecordData& page = pages.shown();
    for (int i = 0; i < page.cols; ++i) {
        const int width = page.column[i].width;
        view->setColumnHidden(i, width <= 0);
        if (width > 0) view->horizontalHeader()->resizeSection(i, width);
    }
}

void CDlgResult::showSortIndicator() {
    if (QTableView* view = list())
        view->horizontalHeader()->setSortIndicator(
            pages.sortColumn(), pages.descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CDlgResult::OnCmdSize(uintptr_t kind, int width, int height) {
    if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
    if (QTableView* view = list())
        view->setGeometry(0, 0, std::max(0, width - kListMarginRight), height);
}

intptr_t CDlgResult::OnCmdNotify(const ListNotify& notify) {
    switch (notify.code) {
    case HDN_ITEMCLICK:
        OnCmdHdnClick(notify.item);
        return 0;
    case NM_RCLICK: {
        QTableView* view = list();
        if (!view || notify.item < 0) return 1;
        const QHeaderView* header = view->horizontalHeader();
        const QPoint corner = header->viewport()->mapTo(
            handle(), QPoint(header->sectionViewportPosition(notify.item), 0));
        const QRect rect(corner, QSize(header->sectionSize(notify.item), header->height()));
        OnShowFilter(&rect, notify.item);
        return 1;
    }
    case LVN_KEYDOWN:
        return OnListKey(notify.key, notify.modifiers);
    default:
        return 0;
    }
}

intptr_t CDlgResult::OnListKey(int key, int modifiers) {
    const auto held = Qt::KeyboardModifiers(modifiers) & ~Qt::KeypadModifier;
    int command = 0;
    if (key == Qt::Key_Delete && held == Qt::NoModifier) command = IDM_KEY_DELETE;
    if (key == Qt::Key_Delete && held == Qt::ShiftModifier) command = IDM_KEY_SHIFTDELETE;
    if (held == Qt::ControlModifier) {
        if (key == Qt::Key_D) command = IDM_KEY_DOWNLOAD;
        if (key == Qt::Key_U) command = IDM_KEY_DOWNLOADALL;
        if (key == Qt::Key_I) command = IDM_KEY_INFO;
    }
    if (command == 0) return 0;
    if (QWidget* main = mainWindow()) sendCommand(main, command, BN_CLICKED);
    return 1;
}

intptr_t CDlgResult::OnCmdCommand(uintptr_t wparam) {
    const int id = loWord(wparam);
    const int code = hiWord(wparam);
    if (id == IDC_FILTER && code == EN_CHANGE) OnEditFilter();
    if (id == IDC_FILTER && code == EN_KILLFOCUS) OnHideFilter();
    // Enter or Escape in the open editor ends the editing.
    if ((id == IDOK || id == IDCANCEL) && filterCol >= 0) {
        if (QTableView* view = list()) view->setFocus();
        OnHideFilter();
    }
    return 0;
}

intptr_t CDlgResult::OnCmdContextMenu(QWidget* under, int x, int y) {
    QTableView* view = list();
    if (view && under && view->horizontalHeader()->isAncestorOf(under)) return 0;
    QMenu* menu = findMenu(mainWindow(), "&Results");
    if (!menu) return 0;
    menu->popup(QPoint(x, y));
    return 1;
}

void CDlgResult::OnCmdHdnClick(int column) {
    if (column >= 0 && column != filterCol) {
        pages.sortBy(column);
        refreshFlag = 1;
    }
    // The header flips its own arrow on every click; it shows the page's order.
    showSortIndicator();
}

void CDlgResult::OnShowFilter(const QRect* rect, int column) {
    QLineEdit* edit = editor();
    if (!edit) return;
    if (!rect && column == filterCol && edit->isVisible()) {
        edit->show();
        edit->setFocus();
        return;
    }
    OnHideFilter();
    if (!rect) return;
    edit->setGeometry(rect->left() + 4, rect->top() + 1, rect->width() - 2, rect->height() - 2);
    edit->setText(QString::fromUtf8(pages.filterOf(column).c_str()));
    filterCol = column;
    edit->raise();
    edit->show();
    edit->setFocus();
    edit->selectAll();
}

void CDlgResult::OnEditFilter() {
    QLineEdit* edit = editor();
    if (filterCol < 0 || !edit) return;
    const QByteArray text = edit->text().left(FILTER_CHARS).toUtf8();
    pages.setFilterOf(filterCol, text.constData());
    refreshFlag = 1;
}

void CDlgResult::OnHideFilter() {
    if (filterCol < 0) return;
    filterCol = -1;
    QLineEdit* edit = editor();
    if (!edit) return;
    const QRect was = edit->geometry();
    edit->hide();
    if (QTableView* view = list()) view->update(view->geometry().intersected(was));
}

void CDlgResult::GetFilter(const char* name, char* text) const {
    std::string filter;
    if (!text || !pages.getFilter(name, filter)) return;
    memcpy(text, filter.c_str(), filter.size() + 1);
}

void CDlgResult::SetFilter(const char* name, const char* text, bool refresh) {
    if (!name) return;
    pages.setFilter(name, text);
    if (refresh) refreshFlag = 1;
}

const char* CDlgResult::GetSelected(int mode, int column, int all, const char* separator,
                                    int quote) {
    selection.clear();
    QTableView* view = list();
    if (!view || (mode != 0 && mode != 2)) return selection.c_str();
    std::vector<int> rows;
    if (mode == 0) {
        for (const QModelIndex& index : view->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
    } else if (QModelIndex focused = view->currentIndex(); focused.isValid()) {
        rows.push_back(focused.row());
    }
    for (int row : rows) {
        const std::string text = std::string(model->cellText(row, column)).substr(0, kCellChars);
        if (!selection.empty() && separator) selection += separator;
        if (quote) selection += '\'';
        selection += text;
        if (quote) selection += '\'';
        if (!all) break;
    }
    return selection.c_str();
}

int CDlgResult::Run() {
    pollCounter = 0;
    while (runOk())
        if (!pollStep()) waitRun(pollMs);
    // Stopped: whoever drives the passes next starts a fresh interval.
    pollCounter = 0;
    return 0;
}

bool CDlgResult::pollStep() {
    if (++pollCounter % kPassesPerLook != 0) return false;
    pollCounter = 0;
    if (refreshFlag.exchange(0) != 0) reread();
    return true;
}

void CDlgResult::reread() {
    auto fresh = pages.blank();
    miravel.selectData(*fresh);
    ++rereads;
    if (pages.park(std::move(fresh)))
        QMetaObject::invokeMethod(
            relay.get(), [this] { adoptParked(); }, Qt::QueuedConnection);
}

void CDlgResult::adoptParked() {
    auto fresh = pages.takeParked();
    if (!fresh) return;
    QTableView* view = list();
    QItemSelectionModel* selected = view ? view->selectionModel() : nullptr;
    // The list keeps its selection by result, not by row number: a row that moved is
    // still selected where it went, and a row now standing where a selected one stood
    // is not. Otherwise a download right after a refresh would take other results.
    const tRecordData& old = pages.shown();
    std::unordered_set<std::string> keep;
    std::string focused;
    if (selected && old.cols > 0) {
        const int engine = columnIndex(old, "engine");
        for (const QModelIndex& index : selected->selectedRows())
            if (index.row() < old.rows) keep.insert(rowKey(old, index.row(), engine));
        const QModelIndex current = selected->currentIndex();
        if (current.isValid() && current.row() < old.rows)
            focused = rowKey(old, current.row(), engine);
    }
    const int oldCols = old.cols;
    model->showPage(std::move(fresh));
    const tRecordData& page = pages.shown();
    if (page.cols != oldCols) applyColumns();
    showSortIndicator();
    if (selected && page.cols > 0 && (!keep.empty() || !focused.empty()))
        reselect(page, keep, focused);
    if (QLineEdit* edit = editor()) edit->update();
    if (pageShown) pageShown();
}

void CDlgResult::reselect(const tRecordData& page, const std::unordered_set<std::string>& keep,
                          const std::string& focused) {
    QItemSelectionModel* selected = list()->selectionModel();
    const int engine = columnIndex(page, "engine");
    QItemSelection again;
    int runStart = -1;
    auto endRun = [&](int end) {
        if (runStart >= 0)
            again.select(model->index(runStart, 0), model->index(end - 1, page.cols - 1));
        runStart = -1;
    };
    for (int row = 0; row < page.rows; ++row) {
        const std::string key = rowKey(page, row, engine);
        if (!focused.empty() && key == focused)
            selected->setCurrentIndex(model->index(row, 0), QItemSelectionModel::NoUpdate);
        if (keep.count(key)) {
            if (runStart < 0) runStart = row;
        } else {
            endRun(row);
        }
    }
    endRun(page.rows);
    selected->select(again, QItemSelectionModel::ClearAndSelect);
}
