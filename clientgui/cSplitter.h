// A container split into two panes by a bar 5 pixels thick that the user drags.
// Stacked (orientation 1): first pane on top, horizontal bar; on resize the bottom pane
// keeps its height. Side by side (orientation 0): first pane on the left, vertical bar;
// on resize the left pane keeps its width unless the splitter gets narrower than it.
#pragma once
#include "cWnd.h"

constexpr int SPLITTER_BAR = 5;
// Sent by the bar to its splitter when it is dropped: lparam = x | y << 16, the bar's
// new top-left corner in the splitter's coordinates.
constexpr unsigned WM_NOTIFY_TRACKBAR = WM_USER + 1;

class cSplitter : public cWnd {
  public:
    cSplitter();
    int create(HWND parent) override;
    virtual int create(HWND parent, unsigned char orientation, int position, int minimum);

    // The owner assigns the panes after creation; either may be null. They become
    // children of the splitter, laid out at once when the splitter is on screen, else
    // when it is shown.
    void setPanes(HWND first, HWND second);

    int getPosition() const { return position; }
    int getSecondSize() const { return secondSize; }
    HWND bar() const { return barWindow.data(); }

    void on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_NOTIFY_TRACKBAR(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    void HandleManager();
    // Places both panes and the bar in a splitter of that client size.
    void layOut(int width, int height);

    HWND firstPane = nullptr;
    HWND secondPane = nullptr;
    int position = 0;
    int secondSize = 0;
    int minimum = 0;
    unsigned char orientation = 0;
    unsigned char layout = 1;
    QPointer<QWidget> barWindow;
};
