#include "DownloadWindowDriver.h"

#include "XDesktop.h"

namespace downloadWindow {

const char* const kTitle = "^Brindle$";

bool selectFirstPost(unsigned long mainWindow) {
    // The first row lies below the menu bar, the toolbar and the list's header, whatever
    // the window's size.
    const QRect window = xdesktop::geometry(mainWindow);
    return !window.isEmpty() && xdesktop::click(window.x() + 60, window.y() + 85);
}

} // namespace downloadWindow
