#include "progressDelegate.h"

#include "listView.h"
#include "listViewModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

namespace {

// The red of the failed file's state icon, so a failure reads alike in every pane.
const QColor kFailedColour(0xD9, 0x45, 0x3B);

} // namespace

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const int progress = index.data(ListViewModel::ProgressRole).toInt();
    if (progress < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The row's selection stays visible around the bar.
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, option.palette.highlight());
    QStyleOptionProgressBar bar;
    bar.initFrom(option.widget);
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = PROGRESS_FULL;
    bar.progress = progress;
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    if (index.data(ListViewModel::FailedRole).toBool())
        bar.palette.setColor(QPalette::Highlight, kFailedColour);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}
