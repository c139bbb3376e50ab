#include "listView.h"

#include "listViewModel.h"
#include "profile.h"
#include "progressDelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Width lists are read and written as texts of at most this many characters, and give
// at most this many widths.
constexpr size_t WIDTH_TEXT_MAX = 1023;
constexpr size_t WIDTH_COUNT_MAX = 32;
constexpr const char* DEFAULT_WIDTHS = "100;100;100;100;100;100;100;100";

// Virtual keys of the keys that are neither digits nor letters.
struct KeyCode {
    int qtKey;
    int virtualKey;
};
constexpr KeyCode OTHER_KEYS[] = {
    {Qt::Key_Backspace, 8}, {Qt::Key_Return, 13},      {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},    {Qt::Key_Control, 17},     {Qt::Key_Alt, 18},
    {Qt::Key_Escape, 27},   {Qt::Key_Space, VK_SPACE}, {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34}, {Qt::Key_End, 35},         {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},     {Qt::Key_Up, 38},          {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},     {Qt::Key_Insert, 45},      {Qt::Key_Delete, VK_DELETE},
};

// The virtual key the panes know for a Qt key, 0 for keys they never ask about.
int virtualKey(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    for (const KeyCode& code : OTHER_KEYS)
        if (code.qtKey == key) return code.virtualKey;
    return 0;
}

} // namespace

cListView::cListView(QWidget* parent, int id, bool ownerData, bool multipleSelection)
    : QTreeView(parent), id(id), listModel(new ListViewModel(this, ownerData)) {
    setControlId(this, id);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(SelectRows);
    setSelectionMode(multipleSelection ? ExtendedSelection : SingleSelection);
    setEditTriggers(NoEditTriggers);
    setIconSize(QSize(16, 16));
    // Columns keep exactly the widths given, so saved widths read back the same.
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setSectionsMovable(false);
    setModel(listModel);
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (settingWidths) return;
        fitWaiting = false; // the user's widths win
        NMHDR changed{nullptr, 0, HDN_ITEMCHANGED};
        notifyParent(&changed);
    });
}

cListView::~cListView() = default;

intptr_t cListView::notifyParent(NMHDR* header) {
    header->hwndFrom = this;
    header->idFrom = id;
    return cWnd::sendMessage(parentWidget(), WM_NOTIFY, static_cast<uintptr_t>(id),
                             reinterpret_cast<intptr_t>(header));
}

void cListView::setWidthQuietly(int column, int width) {
    settingWidths = true;
    header()->resizeSection(column, width);
    settingWidths = false;
}

void cListView::insertColumn(int column, const char* title, int width) {
    column = std::clamp(column, 0, columns());
    listModel->insertTitle(column, QString::fromUtf8(title));
    setWidthQuietly(column, width);
}

int cListView::columns() const {
    return listModel->columnCount();
}

void cListView::setImages(std::vector<QIcon> images) {
    listModel->setImages(std::move(images));
}

void cListView::setProgressColumn(int column) {
    listModel->setProgressColumn(column);
    setItemDelegateForColumn(column, new ProgressDelegate(this));
}

void cListView::fitColumnsWhenFilled(std::vector<int> least) {
    leastWidths = std::move(least);
    fitWaiting = true;
    fitIfWaiting();
}

// The fit waits for the UI thread's next pass, so rows inserted and filled together (the
// server rows with their activity) are all measured.
void cListView::fitIfWaiting() {
    if (!fitWaiting || fitScheduled || itemCount() == 0) return;
    fitScheduled = true;
    QTimer::singleShot(0, this, [this] { fitColumns(); });
}

void cListView::fitColumns() {
    fitScheduled = false;
    if (!fitWaiting || itemCount() == 0) return;
    fitWaiting = false;
    for (int column = 0; column < columns(); ++column) {
        const int least = column < (int)leastWidths.size() ? leastWidths[column] : 0;
        setWidthQuietly(column, std::max(contentWidth(column), least));
    }
}

// The widest text of the column among its first ROWS_LOOKED_AT rows, or its title, with
// the cell's margins; names beyond MAX_FITTED_WIDTH are left to the tip.
int cListView::contentWidth(int column) const {
    constexpr int MAX_FITTED_WIDTH = 600;
    constexpr int MARGINS = 16;
    constexpr int ROWS_LOOKED_AT = 60;
    const QFontMetrics metrics(font());
    int widest = header()->sectionSizeHint(column);
    const int rows = std::min(itemCount(), ROWS_LOOKED_AT);
    const int image = column == 0 ? iconSize().width() + 4 : 0;
    for (int row = 0; row < rows; ++row) {
        const QString text = listModel->index(row, column).data().toString();
        widest = std::max(widest, metrics.horizontalAdvance(text) + image + MARGINS);
    }
    return std::min(widest, MAX_FITTED_WIDTH);
}

void cListView::setItemCount(int count) {
    listModel->setItemCount(count);
    fitIfWaiting();
}

int cListView::itemCount() const {
    return listModel->rowCount();
}

void cListView::insertItem(int row, const char* text) {
    listModel->insertItem(row, QString::fromUtf8(text));
    fitIfWaiting();
}

void cListView::setItemText(int row, int column, const char* text) {
    listModel->setItemText(row, column, QString::fromUtf8(text));
}

void cListView::setItemImage(int row, int image) {
    listModel->setItemImage(row, image);
}

void cListView::deleteItem(int row) {
    listModel->deleteItem(row);
}

void cListView::deleteAllItems() {
    listModel->deleteAllItems();
}

int cListView::firstSelected() const {
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> cListView::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void cListView::selectRow(int row) {
    if (row < 0 || row >= itemCount()) return;
    selectionModel()->setCurrentIndex(
        listModel->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    setFocus();
}

void cListView::redrawCell(int row, int column) {
    if (row < 0 || row >= itemCount()) return;
    const QModelIndex cell = listModel->index(row, column);
    if (cell.isValid()) viewport()->update(visualRect(cell));
}

void cListView::redrawImage(int row) {
    redrawCell(row, 0);
}

void cListView::mouseReleaseEvent(QMouseEvent* event) {
    // Qt's own handling first, so the parent sees the selection the click made.
    QTreeView::mouseReleaseEvent(event);
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton) return;
    const int code = button == Qt::LeftButton ? NM_CLICK : NM_RCLICK;
    const QPoint point = event->position().toPoint();
    const QModelIndex cell = indexAt(point);
    NMITEMACTIVATE click{{nullptr, 0, code},
                         cell.isValid() ? cell.row() : -1,
                         columnAt(point.x()),
                         viewport()->mapTo(this, point)};
    notifyParent(&click.hdr);
}

void cListView::keyPressEvent(QKeyEvent* event) {
    if (const int key = virtualKey(event->key())) {
        NMLVKEYDOWN down{{nullptr, 0, LVN_KEYDOWN}, key};
        notifyParent(&down.hdr);
    }
    QTreeView::keyPressEvent(event);
}

void LVN_setheaders(cListView* list, const char* const* titles, const int* widths) {
    for (int column = 0; titles[column]; ++column)
        list->insertColumn(column, titles[column], widths[column]);
}

void LVN_insert_item(cListView* list, int row, char* text) {
    char* piece = text;
    char* tab = std::strchr(piece, '\t');
    if (tab) *tab = '\0';
    list->insertItem(row, piece);
    for (int column = 1; tab; ++column) {
        piece = tab + 1;
        tab = std::strchr(piece, '\t');
        if (tab) *tab = '\0';
        list->setItemText(row, column, piece);
    }
}

std::vector<int> parseWidthList(const char* text) {
    std::vector<int> widths;
    const std::string list(text, strnlen(text, WIDTH_TEXT_MAX));
    size_t start = 0;
    while (start < list.size() && widths.size() < WIDTH_COUNT_MAX) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        // Empty pieces, as after the closing ";", are no widths.
        if (end > start) widths.push_back(std::atoi(list.substr(start, end - start).c_str()));
        start = end + 1;
    }
    return widths;
}

void LVN_loadheaderwidth(cListView* list, const char* section, const char* key, const char* file) {
    char text[WIDTH_TEXT_MAX + 1];
    profile::getString(section, key, DEFAULT_WIDTHS, text, sizeof text, file);
    const std::vector<int> widths = parseWidthList(text);
    const int count = std::min(static_cast<int>(widths.size()), list->columns());
    for (int column = 0; column < count; ++column)
        list->setWidthQuietly(column, widths[column]);
}

void LVN_restoreheaderwidth(cListView* list, const char* section, const char* key, const char* file,
                            std::vector<int> least) {
    char text[WIDTH_TEXT_MAX + 1];
    profile::getString(section, key, "", text, sizeof text, file);
    if (parseWidthList(text).empty())
        list->fitColumnsWhenFilled(std::move(least));
    else
        LVN_loadheaderwidth(list, section, key, file);
}

void LVN_saveheaderwidth(cListView* list, const char* section, const char* key, const char* file) {
    std::string text;
    for (int column = 0; column < list->columns(); ++column) {
        const std::string piece = std::to_string(list->columnWidth(column)) + ";";
        if (text.size() + piece.size() > WIDTH_TEXT_MAX) break;
        text += piece;
    }
    profile::writeString(section, key, text.c_str(), file);
}
