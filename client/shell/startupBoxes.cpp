#include "startupBoxes.h"

#include "msgbox.h"
#include "uiThread.h"

#include <cstdlib>

namespace startupBoxes {
namespace {

bool displayNamed() {
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

int show(const char* text, const char* title, unsigned flags) {
    msgbox::setHandler(nullptr);
    int answer;
    {
        // The UI thread puts its Qt boxes in place when the display answers; on the
        // offscreen fallback the console keeps them.
        UiThread ui;
        answer = msgbox::show(text, title, flags);
    }
    msgbox::setHandler(show);
    return answer;
}

} // namespace

void install() {
    // Without a display the console fallback already is the way.
    if (displayNamed()) msgbox::setHandler(show);
}

void uninstall() {
    msgbox::setHandler(nullptr);
}

} // namespace startupBoxes
