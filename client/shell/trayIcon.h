// The running instance's icon in the desktop's notification area: "Show.." brings up
// the window, "Exit" ends the program; messages tell the user about finished posts.
#pragma once
#include <memory>

class NNTPmodel_iface;
class QMenu;
class QString;
class QSystemTrayIcon;

class TrayIcon {
  public:
    // The menu's command numbers.
    enum : int { menuShow = 32775, menuExit = 32771 };

    // On the UI thread. Without a notification area (no tray host, or no display) logs
    // so and shows nothing; the program runs on without it.
    explicit TrayIcon(NNTPmodel_iface* model);
    // On the UI thread: removes the icon.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Carries out a menu command; other numbers do nothing. Never blocks the UI thread,
    // which the window shares.
    void command(int id);
    // On the UI thread: shows `text` under `title` beside the icon. False, showing
    // nothing, while the icon sits in no notification area.
    bool showMessage(const QString& title, const QString& text);

  private:
    NNTPmodel_iface* model;
    std::unique_ptr<QMenu> menu;
    std::unique_ptr<QSystemTrayIcon> icon;
};
