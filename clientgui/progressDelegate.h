// Draws a list cell as a progress bar with the cell's text on it, for cells whose
// ListViewModel::ProgressRole gives 0 to 1000 (in the error colour where FailedRole says
// so); other cells are drawn as usual.
#pragma once
#include <QStyledItemDelegate>

class ProgressDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
