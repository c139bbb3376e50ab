// What the results list and its header tell their dialog: a WM_NOTIFY message whose
// wparam is the control id and whose lparam points to a ListNotify.
#pragma once

// Notification codes, as the list and header controls number them.
constexpr int NM_RCLICK = -5;
constexpr int LVN_KEYDOWN = -155;
constexpr int HDN_ITEMCLICK = -302;

struct ListNotify {
    int idFrom = 0;    // the control that tells
    int code = 0;      // what happened
    int item = -1;     // the header item concerned, -1 for none
    int key = 0;       // LVN_KEYDOWN: the key (Qt::Key)
    int modifiers = 0; // LVN_KEYDOWN: the keyboard modifiers held (Qt::KeyboardModifiers)
};

class QTableView;

// Turns the list's header clicks, header right clicks and key presses into WM_NOTIFY
// messages to the list's dialog. A key the dialog handles (non-zero result) goes no
// further; the list takes the others.
void translateListEvents(QTableView* list);
