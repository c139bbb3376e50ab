// Free functions of the window framework.
#pragma once
#include "cWnd.h"

class QToolBar;

// Centres the window, size unchanged, over its parent if it has one, else over the
// screen (integer halves, truncated toward zero).
void centerWindow(HWND hwnd);
// The top-level window above `hwnd`.
HWND getrootWindow(HWND hwnd);
// Checks or clears the toolbar button whose action carries command `command`.
void TBN_setchecked(QToolBar* toolbar, int command, int flag);
// The command id carried by a toolbar or menu action (0 for none).
void setCommandId(class QAction* action, int command);
int commandId(const class QAction* action);
