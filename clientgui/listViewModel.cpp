#include "listViewModel.h"

#include "listView.h"

#include <algorithm>
#include <cstring>

namespace {
// The size of the text buffer a cell request offers its parent window.
constexpr int CELL_TEXT_SIZE = 260;
} // namespace

ListViewModel::ListViewModel(cListView* list, bool ownerData)
    : QAbstractTableModel(list), list(list), ownerData(ownerData) {}

int ListViewModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return ownerData ? virtualCount : static_cast<int>(rows.size());
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles.size());
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !hasRow(index.row())) return {};
    const int row = index.row();
    const int column = index.column();
    // The info tip carries the whole text of a cell too narrow for it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return text(row, column);
    if (role == ProgressRole) return column == progressColumn ? askProgress(row, column) : -1;
    if (role == FailedRole) return column == progressColumn && askFailed(row, column);
    if (role == Qt::DecorationRole && column == 0 && !images.empty()) {
        const int image = ownerData ? askImage(row) : rows[row].image;
        if (image >= 0 && image < static_cast<int>(images.size())) return images[image];
    }
    return {};
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= static_cast<int>(titles.size())) return {};
    return titles[section];
}

QString ListViewModel::text(int row, int column) const {
    if (ownerData) return askText(row, column);
    const std::vector<QString>& texts = rows[row].texts;
    return column < static_cast<int>(texts.size()) ? texts[column] : QString();
}

QString ListViewModel::askText(int row, int column) const {
    char buffer[CELL_TEXT_SIZE] = {};
    NMLVDISPINFO request{};
    request.hdr.code = LVN_GETDISPINFO;
    request.item.mask = LVIF_TEXT;
    request.item.iItem = row;
    request.item.iSubItem = column;
    request.item.pszText = buffer;
    request.item.cchTextMax = CELL_TEXT_SIZE;
    list->notifyParent(&request.hdr);
    // The parent may copy into the buffer or point the request at a text of its own.
    const char* text = request.item.pszText ? request.item.pszText : buffer;
    return QString::fromUtf8(text, static_cast<qsizetype>(strnlen(text, CELL_TEXT_SIZE)));
}

int ListViewModel::askImage(int row) const {
    NMLVDISPINFO request{};
    request.hdr.code = LVN_GETDISPINFO;
    request.item.mask = LVIF_IMAGE;
    request.item.iItem = row;
    request.item.iImage = -1;
    list->notifyParent(&request.hdr);
    return request.item.iImage;
}

int ListViewModel::askProgress(int row, int column) const {
    if (!ownerData) return -1;
    NMLVDISPINFO request{};
    request.hdr.code = LVN_GETDISPINFO;
    request.item.mask = LVIF_PROGRESS;
    request.item.iItem = row;
    request.item.iSubItem = column;
    request.item.iProgress = -1;
    list->notifyParent(&request.hdr);
    return std::clamp(request.item.iProgress, -1, PROGRESS_FULL);
}

bool ListViewModel::askFailed(int row, int column) const {
    if (!ownerData) return false;
    NMLVDISPINFO request{};
    request.hdr.code = LVN_GETDISPINFO;
    request.item.mask = LVIF_FAILED;
    request.item.iItem = row;
    request.item.iSubItem = column;
    list->notifyParent(&request.hdr);
    return request.item.bFailed != 0;
}

void ListViewModel::insertTitle(int column, const QString& title) {
    column = std::clamp(column, 0, columnCount());
    beginInsertColumns({}, column, column);
    titles.insert(titles.begin() + column, title);
    for (Row& stored : rows)
        if (column < static_cast<int>(stored.texts.size()))
            stored.texts.insert(stored.texts.begin() + column, QString());
    endInsertColumns();
}

void ListViewModel::setImages(std::vector<QIcon> icons) {
    images = std::move(icons);
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

void ListViewModel::setItemCount(int count) {
    if (!ownerData) return;
    count = std::max(0, count);
    if (count > virtualCount) {
        beginInsertRows({}, virtualCount, count - 1);
        virtualCount = count;
        endInsertRows();
    } else if (count < virtualCount) {
        beginRemoveRows({}, count, virtualCount - 1);
        virtualCount = count;
        endRemoveRows();
    }
    if (virtualCount > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(virtualCount - 1, columnCount() - 1));
}

void ListViewModel::insertItem(int row, const QString& text) {
    if (ownerData) return;
    row = std::clamp(row, 0, rowCount());
    beginInsertRows({}, row, row);
    rows.insert(rows.begin() + row, Row{{text}, -1});
    endInsertRows();
}

void ListViewModel::setItemText(int row, int column, const QString& text) {
    if (ownerData || !hasRow(row) || column < 0 || column >= columnCount()) return;
    std::vector<QString>& texts = rows[row].texts;
    if (column >= static_cast<int>(texts.size())) texts.resize(column + 1);
    texts[column] = text;
    emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

void ListViewModel::setItemImage(int row, int image) {
    if (ownerData || !hasRow(row)) return;
    rows[row].image = image;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole});
}

void ListViewModel::deleteItem(int row) {
    if (ownerData || !hasRow(row)) return;
    beginRemoveRows({}, row, row);
    rows.erase(rows.begin() + row);
    endRemoveRows();
}

void ListViewModel::deleteAllItems() {
    if (ownerData) {
        setItemCount(0);
        return;
    }
    if (rows.empty()) return;
    beginRemoveRows({}, 0, rowCount() - 1);
    rows.clear();
    endRemoveRows();
}
