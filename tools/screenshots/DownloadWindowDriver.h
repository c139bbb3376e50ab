// The running corvane's download window driven from outside (see XDesktop.h).
#pragma once

namespace downloadWindow {

// The main window's title, as a regular expression for xdesktop::waitForWindow.
extern const char* const kTitle;

// Clicks the first row of the post list, which makes the file list show that post's
// files. False when the window's place cannot be told or the click fails.
bool selectFirstPost(unsigned long mainWindow);

} // namespace downloadWindow
