// Windows of other programs on the X display this tool runs on (Xvfb, no window
// manager): found by title, given keys and clicks with xdotool, and photographed from
// the screen's pixels. Needs a QGuiApplication on the xcb platform for the pictures.
#pragma once
#include <QRect>

#include <string>

namespace xdesktop {

// The first visible window whose title matches the regular expression `title`, waited
// for up to `limitSeconds`; 0 when none appeared.
unsigned long waitForWindow(const std::string& title, int limitSeconds);
// Waits until no visible window's title matches `title`. False on time-out.
bool waitUntilGone(const std::string& title, int limitSeconds);
// Where `window` lies on the screen; empty when it cannot be told.
QRect geometry(unsigned long window);
// Gives `window` the keyboard focus and presses `keys` (xdotool's names: "alt+f",
// "Return", several separated by blanks).
bool pressKeys(unsigned long window, const std::string& keys);
// Moves the pointer to the screen point and clicks the left button.
bool click(int x, int y);
// Saves what the screen shows in `area` as a PNG file.
bool savePicture(const QRect& area, const std::string& file);

} // namespace xdesktop
