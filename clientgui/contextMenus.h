// The context menus of the panes. They belong to the main window: a chosen entry sends
// its command to `owner`, which turns it into an action of a pane.
#pragma once
#include "cWnd.h"

#include <QPoint>

// Commands of the "Posts" popup.
enum : int {
    IDM_POST_DELETE = 32800,
    IDM_POST_CANCEL = 32801,
    IDM_POST_QUEUE = 32802,
    IDM_POST_DECODE = 32803,
    IDM_POST_RETRY = 32804,
    IDM_POST_OPENFOLDER = 32805,
    IDM_POST_PRIO0 = 32810, // to 32819
    // Commands of the "Files" popup.
    IDM_FILE_CANCEL = 32806,
    IDM_FILE_QUEUE = 32807,
    IDM_FILE_DECODE = 32808,
    IDM_FILE_RETRY = 32809,
    IDM_FILE_PRIO0 = 32820, // to 32829
};

// Shows the popup at the global point `where` and returns when it has closed. "Open
// folder" is enabled when the post has a folder to open.
void showPostsMenu(HWND owner, QPoint where, bool canOpenFolder);
void showFilesMenu(HWND owner, QPoint where);
