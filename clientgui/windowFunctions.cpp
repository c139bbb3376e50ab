#include "windowFunctions.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>

namespace {
const char* const kCommandProperty = "commandId";
} // namespace

void centerWindow(HWND hwnd) {
    if (!hwnd) return;
    const QSize size = hwnd->frameGeometry().size();
    if (!hwnd->isWindow()) {
        // A child moves in its parent's coordinates.
        const QSize area = hwnd->parentWidget()->size();
        hwnd->move((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
    } else if (const QWidget* owner = hwnd->parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        hwnd->move(area.left() + (area.width() - size.width()) / 2,
                   area.top() + (area.height() - size.height()) / 2);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        hwnd->move((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
    }
}

HWND getrootWindow(HWND hwnd) {
    return hwnd ? hwnd->window() : nullptr;
}

void TBN_setchecked(QToolBar* toolbar, int command, int flag) {
    for (QAction* action : toolbar->actions()) {
        if (commandId(action) != command) continue;
        action->setCheckable(true);
        action->setChecked(flag != 0);
        return;
    }
}

void setCommandId(QAction* action, int command) {
    action->setProperty(kCommandProperty, command);
}

int commandId(const QAction* action) {
    return action ? action->property(kCommandProperty).toInt() : 0;
}
