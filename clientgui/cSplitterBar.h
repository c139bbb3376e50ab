// The bar between the two panes of a cSplitter. The user drags it with the left button
// along one axis only: a bar wider than 9 pixels (between stacked panes) moves up and
// down, a narrower one left and right. When it is dropped after a move it sends
// WM_NOTIFY_TRACKBAR with its new top-left corner to the splitter, which lays the panes
// out again.
#pragma once
#include <QPoint>
#include <QWidget>

class cSplitterBar : public QWidget {
  public:
    explicit cSplitterBar(QWidget* splitter);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool horizontal() const { return width() > 9; }

    // The drag: where the pointer grabbed the bar (screen) and where the bar then was.
    bool pressed = false;
    bool moved = false;
    QPoint grabbedAt;
    QPoint startCorner;
};
