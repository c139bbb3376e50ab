#include "cSplitterBar.h"

#include "cSplitter.h"

#include <QMouseEvent>

cSplitterBar::cSplitterBar(QWidget* splitter) : QWidget(splitter) {}

void cSplitterBar::resizeEvent(QResizeEvent* event) {
    // The splitter gives the bar its shape when it lays the panes out; the cursor follows.
    setCursor(horizontal() ? Qt::SplitVCursor : Qt::SplitHCursor);
    QWidget::resizeEvent(event);
}

void cSplitterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressed = true;
    moved = false;
    grabbedAt = event->globalPosition().toPoint();
    startCorner = pos();
    // Over the panes while it moves, so the user sees where it goes.
    raise();
}

void cSplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed) return QWidget::mouseMoveEvent(event);
    const QPoint shift = event->globalPosition().toPoint() - grabbedAt;
    const QPoint corner =
        startCorner + (horizontal() ? QPoint(0, shift.y()) : QPoint(shift.x(), 0));
    if (corner == pos()) return;
    move(corner);
    moved = true;
}

void cSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    pressed = false;
    if (!moved) return;
    moved = false;
    cWnd::sendMessage(parentWidget(), WM_NOTIFY_TRACKBAR, 0, makeParam(x(), y()));
}
