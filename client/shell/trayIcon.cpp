#include "trayIcon.h"

#include "NNTPmodel_iface.h"
#include "brindleIcons.h"
#include "detachedProcess.h"
#include "programFolder.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <cstdio>

namespace {

// A messenger with "g" makes the running instance load and show the window, exactly as
// a start of the program by the user does. It is not waited for: the window that it
// brings up runs on the thread that would wait.
void startShowMessenger() {
    if (int error = spawnDetached({programFolder() + "/corvane", "g"}))
        printf("tray: cannot start corvane g: %d \n", error);
}

} // namespace

TrayIcon::TrayIcon(NNTPmodel_iface* model) : model(model) {
    // The icon is made all the same: Qt docks it once a notification area appears.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        printf("tray: no notification area on this desktop yet, the icon waits for one\n");
    menu = std::make_unique<QMenu>();
    QObject::connect(menu->addAction("Show.."), &QAction::triggered, [this] { command(menuShow); });
    QObject::connect(menu->addAction("Exit"), &QAction::triggered, [this] { command(menuExit); });

    icon = std::make_unique<QSystemTrayIcon>(brindleIcons::program());
    icon->setToolTip("Brindle");
    icon->setContextMenu(menu.get());
    QObject::connect(icon.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::DoubleClick) command(menuShow);
                     });
    icon->show();
}

TrayIcon::~TrayIcon() {
    if (icon) icon->hide();
}

void TrayIcon::command(int id) {
    switch (id) {
    case menuShow:
        startShowMessenger();
        break;
    case menuExit:
        if (icon) icon->hide();
        // The shutdown waits for the window on this thread, so the model is ended
        // from a command thread of its own.
        _observable::sendCommand(model, cmdTerminate, nullptr, nullptr);
        break;
    default:
        break;
    }
}

bool TrayIcon::showMessage(const QString& title, const QString& text) {
    if (!icon || !icon->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable() ||
        !QSystemTrayIcon::supportsMessages())
        return false;
    icon->showMessage(title, text, QSystemTrayIcon::Information);
    return true;
}
