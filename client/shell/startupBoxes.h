// Message boxes asked for before the running instance has its UI thread, such as a
// configuration error at start-up: a start from the desktop has no terminal, so on a
// display they are shown with Qt, on a UI thread made for the one box.
#pragma once

namespace startupBoxes {

// msgbox::show uses this way until uninstall.
void install();
// Boxes go back to the console.
void uninstall();

} // namespace startupBoxes
