#include "ResultTableModel.h"

#include <QFont>
#include <QStringList>

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
    if (role == Qt::TextAlignmentRole) return static_cast<int>(alignmentOf(column.align));
    // The header asks many roles per paint: the filter is copied only for these.
    if (role != Qt::DisplayRole && role != Qt::FontRole && role != Qt::ToolTipRole) return {};
    // A filtered column keeps a mark once its filter editor has closed.
    const std::string filter = pages.filterOf(section);
    const bool filtered = hasFilter(filter);
    if (role == Qt::DisplayRole) {
        const QString name = nameOf(column);
        return filtered ? name + FILTER_MARK : name;
    }
    if (role == Qt::FontRole && filtered) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::ToolTipRole && filtered)
        return "Filter: " + QString::fromUtf8(filter.c_str());
    return {};
}

QString ResultTableModel::nameOf(const tColumn& column) {
    return QString::fromUtf8(column.name, (qsizetype)strnlen(column.name, sizeof column.name));
}

bool ResultTableModel::hasFilter(const std::string& filter) {
    return filter.find_first_not_of(" \t") != std::string::npos;
}

QString ResultTableModel::activeFilters() const {
    const tRecordData& page = pages.shown();
    QStringList filters;
    for (int i = 0; i < page.cols; ++i) {
        const std::string filter = pages.filterOf(i);
        if (!hasFilter(filter)) continue;
        filters << nameOf(page.column[i]) + ": " + QString::fromUtf8(filter.c_str());
    }
    return filters.isEmpty() ? QString() : "Filtered by " + filters.join(", ");
}

void ResultTableModel::showPage(std::unique_ptr<tRecordData> fresh) {
    beginResetModel();
    pages.show(std::move(fresh));
    endResetModel();
}
