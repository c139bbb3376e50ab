#include "contextMenus.h"

#include "windowFunctions.h"

#include <QMenu>

namespace {

QAction* addCommand(QMenu* menu, HWND owner, const QString& text, int command) {
    QAction* action = menu->addAction(text);
    setCommandId(action, command);
    QObject::connect(action, &QAction::triggered, [owner, command] {
        sendCommand(owner, command);
    });
    return action;
}

// "Set Priority": "0 highest", "1" to "6", "7 default", "8", "9 lowest".
void addPriorities(QMenu* menu, HWND owner, int firstCommand) {
    QMenu* priorities = menu->addMenu("Set Priority");
    for (int priority = 0; priority <= 9; ++priority) {
        QString text = QString::number(priority);
        if (priority == 0) text += " highest";
        if (priority == 7) text += " default";
        if (priority == 9) text += " lowest";
        addCommand(priorities, owner, text, firstCommand + priority);
    }
}

} // namespace

void showPostsMenu(HWND owner, QPoint where, bool canOpenFolder) {
    QMenu menu("Posts", owner);
    addCommand(&menu, owner, "Delete", IDM_POST_DELETE);
    addCommand(&menu, owner, "Cancel", IDM_POST_CANCEL);
    addCommand(&menu, owner, "Queue", IDM_POST_QUEUE);
    menu.addSeparator();
    addCommand(&menu, owner, "Decode incomplete", IDM_POST_DECODE);
    addCommand(&menu, owner, "Retry failed", IDM_POST_RETRY);
    menu.addSeparator();
    addCommand(&menu, owner, "Open folder", IDM_POST_OPENFOLDER)->setEnabled(canOpenFolder);
    menu.addSeparator();
    addPriorities(&menu, owner, IDM_POST_PRIO0);
    menu.exec(where);
}

void showFilesMenu(HWND owner, QPoint where) {
    QMenu menu("Files", owner);
    addCommand(&menu, owner, "Cancel", IDM_FILE_CANCEL);
    addCommand(&menu, owner, "Queue", IDM_FILE_QUEUE);
    menu.addSeparator();
    addCommand(&menu, owner, "Decode", IDM_FILE_DECODE);
    addCommand(&menu, owner, "Retry", IDM_FILE_RETRY);
    menu.addSeparator();
    addPriorities(&menu, owner, IDM_FILE_PRIO0);
    menu.exec(where);
}
