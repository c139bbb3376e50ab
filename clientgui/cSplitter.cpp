#include "cSplitter.h"

#include "cSplitterBar.h"

#include <algorithm>

namespace {

// Drops beyond this many pixels are taken as a slip of the mouse.
constexpr int FARTHEST_DROP = 2000;
constexpr unsigned char STACKED = 1;

void place(QWidget* widget, int x, int y, int width, int height) {
    if (widget) widget->setGeometry(x, y, width, height);
}

} // namespace

cSplitter::cSplitter() {
    HandleManager();
}

void cSplitter::HandleManager() {
    AddHandler(WM_SIZE, &cSplitter::on_WM_SIZE);
    AddHandler(WM_NOTIFY_TRACKBAR, &cSplitter::on_WM_NOTIFY_TRACKBAR);
}

int cSplitter::create(HWND parentWindow) {
    if (window) return 6;
    HWND area = createPlainWindow(parentWindow);
    auto* splitBar = new cSplitterBar(area);
    splitBar->setGeometry(position, 0, 0, 0);
    barWindow = splitBar;
    splitBar->show();
    area->show();
    return 0;
}

int cSplitter::create(HWND parentWindow, unsigned char splitOrientation, int startPosition,
                      int smallest) {
    if (window) return 6;
    orientation = splitOrientation;
    position = startPosition;
    minimum = smallest;
    secondSize = 0;
    return create(parentWindow);
}

void cSplitter::setPanes(HWND first, HWND second) {
    firstPane = first;
    secondPane = second;
    for (HWND pane : {first, second}) {
        if (!pane) continue;
        pane->setParent(window);
        pane->show();
    }
    // Before the window is shown the splitter's size is provisional; its first real size
    // comes with the show, and the stacked bottom height must be fixed from that one.
    if (window && window->isVisible()) layOut(window->width(), window->height());
}

void cSplitter::on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam) {
    if (wParam != SIZE_RESTORED && wParam != SIZE_MAXIMIZED) return;
    // Qt hands a hidden window its size only when it is shown, just before it counts as
    // visible; so what matters is that the splitter is shown within its window.
    if (!firstPane || !hwnd->isVisibleTo(hwnd->window())) return;
    layOut(loWord(static_cast<uintptr_t>(lParam)), hiWord(static_cast<uintptr_t>(lParam)));
}

void cSplitter::layOut(int width, int height) {
    if (orientation == STACKED) {
        // The bottom pane's height is fixed at the first layout; the top pane takes every
        // later change.
        if (secondSize == 0) secondSize = height - std::min(position, height - 6);
        position = height - secondSize;
        place(firstPane, 0, 0, width, position);
        place(bar(), 0, position, width, SPLITTER_BAR);
        place(secondPane, 0, position + SPLITTER_BAR, width, height - position - SPLITTER_BAR);
    } else {
        if (width < position) position = width - SPLITTER_BAR;
        place(firstPane, 0, 0, position, height);
        place(bar(), position, 0, SPLITTER_BAR, height);
        place(secondPane, position + SPLITTER_BAR, 0, width - position - SPLITTER_BAR, height);
    }
}

void cSplitter::on_WM_NOTIFY_TRACKBAR(HWND hwnd, uintptr_t, intptr_t lParam) {
    const int width = hwnd->width();
    const int height = hwnd->height();
    const bool stacked = orientation == STACKED;
    HWND splitBar = bar();
    if (splitBar) splitBar->hide();
    int dropped =
        stacked ? hiWord(static_cast<uintptr_t>(lParam)) : loWord(static_cast<uintptr_t>(lParam));
    if (dropped < minimum || dropped > FARTHEST_DROP) {
        if (splitBar) splitBar->move(stacked ? QPoint(0, minimum) : QPoint(minimum, 0));
        dropped = minimum;
    }
    position = dropped;
    if (stacked) {
        secondSize = height - position;
        place(firstPane, 0, 0, width, position);
        place(secondPane, 0, position + SPLITTER_BAR, width, secondSize - SPLITTER_BAR);
    } else {
        secondSize = width - position;
        place(firstPane, 0, 0, position, height);
        place(secondPane, position + SPLITTER_BAR, 0, secondSize - SPLITTER_BAR, height);
    }
    if (splitBar) splitBar->show();
}
