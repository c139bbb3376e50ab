#include "ResultTableModel.h"

#include <cstring>

ResultTableModel::ResultTableModel(ResultPages& pages, QObject* parent)
    : QAbstractTableModel(parent), pages(pages) {}

int ResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : pages.shown().rows;
}

int ResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : pages.shown().cols;
}

const char* ResultTableModel::cellText(int row, int col) const {
    const tRecordData& page = pages.shown();
    if (row < 0 || row >= page.rows || col < 0 || col >= page.cols) return "";
    return page.cell(row, col);
}

namespace {

Qt::Alignment alignmentOf(int align) {
    switch (align) {
    case 1:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case 2:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

QVariant ResultTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromUtf8(cellText(index.row(), index.column()));
    if (role == Qt::TextAlignmentRole) {
        const tRecordData& page = pages.shown();
        if (index.column() < page.cols)
            return static_cast<int>(alignmentOf(page.column[index.column()].align));
    }
    return {};
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const tRecordData& page = pages.shown();
    if (orientation != Qt::Horizontal || section < 0 || section >= page.cols) return {};
    const tColumn& column = page.column[section];
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(column.name, (qsizetype)strnlen(column.name, sizeof column.name));
    if (role == Qt::TextAlignmentRole) return static_cast<int>(alignmentOf(column.align));
    return {};
}

void ResultTableModel::showPage(std::unique_ptr<tRecordData> fresh) {
    beginResetModel();
    pages.show(std::move(fresh));
    endResetModel();
}
