// Message boxes as Qt dialogs on the UI thread, while that thread runs on a display.
#pragma once

namespace uiMessageBox {

// From now on msgbox::show opens a QMessageBox on the thread of the QApplication: there
// directly, from any other thread by a blocking call onto it.
void install();
// Boxes go back to the console. Returns once no box asked for from another thread is
// still waiting for the UI thread, so the event loop may end afterwards.
void uninstall();

} // namespace uiMessageBox
