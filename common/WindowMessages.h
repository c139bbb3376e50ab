// The message numbers, notification codes and parameter packing the windows of both
// programs are written against. Qt events and control signals are turned into these by
// each window framework, so every window reacts to the same numbers as on the desktop
// the windows were first drawn for.
#pragma once
#include <cstdint>

// Messages.
constexpr unsigned WM_SIZE = 0x0005;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_SETCURSOR = 0x0020;
constexpr unsigned WM_NOTIFY = 0x004E;
constexpr unsigned WM_CONTEXTMENU = 0x007B;
constexpr unsigned WM_KEYDOWN = 0x0100;
constexpr unsigned WM_INITDIALOG = 0x0110;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_CTLCOLORSTATIC = 0x0138;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_DROPFILES = 0x0233;
constexpr unsigned WM_NCCREATE = 0x0081;
constexpr unsigned WM_SYSCOMMAND = 0x0112;
constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_APP = 0x8000;

// wparam of WM_SYSCOMMAND.
constexpr uintptr_t SC_MINIMIZE = 0xF020;
constexpr uintptr_t SC_RESTORE = 0xF120;

// wparam of WM_SIZE.
constexpr uintptr_t SIZE_RESTORED = 0;
constexpr uintptr_t SIZE_MINIMIZED = 1;
constexpr uintptr_t SIZE_MAXIMIZED = 2;

// Command ids the dialog manager sends for Enter and Escape.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Notification codes carried in the high half of a WM_COMMAND wparam.
constexpr int BN_CLICKED = 0;
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_DBLCLK = 2;
constexpr int CBN_SETFOCUS = 3;
constexpr int CBN_KILLFOCUS = 4;
constexpr int CBN_EDITCHANGE = 5;
constexpr int CBN_EDITUPDATE = 6;
constexpr int CBN_DROPDOWN = 7;
constexpr int EN_SETFOCUS = 0x0100;
constexpr int EN_KILLFOCUS = 0x0200;
constexpr int EN_CHANGE = 0x0300;

constexpr int loWord(uintptr_t value) {
    return static_cast<int>(value & 0xFFFF);
}
constexpr int hiWord(uintptr_t value) {
    return static_cast<int>((value >> 16) & 0xFFFF);
}
// Signed halves, for packed coordinates that may lie left of or above the screen.
constexpr int loShort(intptr_t value) {
    return static_cast<int16_t>(value & 0xFFFF);
}
constexpr int hiShort(intptr_t value) {
    return static_cast<int16_t>((value >> 16) & 0xFFFF);
}
// wparam of WM_COMMAND: notification code in the high half, control id in the low half.
constexpr uintptr_t makeCommand(int code, int id) {
    return (static_cast<uintptr_t>(code & 0xFFFF) << 16) | static_cast<uintptr_t>(id & 0xFFFF);
}
// Two 16-bit values in one parameter: a size (width, height) or a point (x, y).
constexpr intptr_t makeParam(int low, int high) {
    return static_cast<intptr_t>((static_cast<uint32_t>(high & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(low & 0xFFFF));
}
