// The main window: menu, toolbar, a three-part status bar, and the post, file and
// server panes in two splitters (posts beside files above, servers below). It reads
// the engine through the model interface, sends it commands on command threads or,
// for lists of ids, straight to the queue, and hands imports to the running program.
#pragma once
#include "cDlgClient.h"
#include "cDlgFile.h"
#include "cDlgPost.h"
#include "cSplitter.h"
#include "updateQueue.h"

#include <functional>
#include <string>
#include <utility>

class QLabel;
class QMainWindow;
class QToolBar;

class cWndMain : public cWnd, public _observer {
  public:
    cWndMain();
    ~cWndMain() override;

    // Builds the window from the saved layout. 6 when it exists already.
    int create(HWND parent) override;
    // Attaches the window and its panes to the model, or detaches all with null.
    void setmodel(NNTPmodel_iface* model);
    // Engine threads.
    void update(unsigned code, void* data) override;
    // Called once the window has been destroyed (Exit, close, the library's terminate).
    void onDestroyed(std::function<void()> callback) { destroyed = std::move(callback); }

    cSplitter& outerSplitter() { return outer; }
    cSplitter& innerSplitter() { return inner; }
    cDlgPost& postPane() { return posts; }
    cDlgFile& filePane() { return files; }
    cDlgClient& clientPane() { return clients; }
    QToolBar* toolbar() const { return toolBar; }
    QString statusText(int part) const;

    void on_WM_CLOSE(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_COMMAND(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_SYSCOMMAND(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_DROPFILES(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    void HandleManager();
    void createStatusBar(QMainWindow* main);
    void createToolBar(QMainWindow* main);
    void createMenu(QMainWindow* main);
    void createPanes(QMainWindow* main);
    void apply(std::vector<std::pair<unsigned, int>>& batch);
    void showRemaining(int kbPerSecond);
    void command(int id, intptr_t lParam);
    void paneCommand(int id);
    void sendToModel(unsigned cmd, int value);
    void importFile();
    static void showRefusal(const std::string& why);
    void resetDatabase();
    void saveUIstate();
    void exitWindow();

    NNTPmodel_iface* model = nullptr;
    QToolBar* toolBar = nullptr;
    QLabel* statusParts[3] = {};
    cSplitter outer;
    cSplitter inner;
    cDlgPost posts;
    cDlgFile files;
    cDlgClient clients;
    cUpdateQueue<std::pair<unsigned, int>> changes;
    std::function<void()> destroyed;
};
