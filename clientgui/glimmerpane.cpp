#include "glimmerpane.h"

#include "articleSchema.h"
#include "cWndMain.h"
#include "profile.h"
#include "uiProbe.h"

#include <QApplication>
#include <QDialog>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const char* const kName = "Corvane Gui";
const auto kCloseWait = std::chrono::milliseconds(2000);

// UI thread only.
std::unique_ptr<cWndMain> mainWindow;

// Set while the host closes the window: it is ending the model itself and may destroy
// it right after, so the window must not send it a terminate of its own.
std::atomic<bool> hostCloses{false};

// Whether a window is open; terminate waits on it from another thread.
std::mutex openLock;
std::condition_variable openChanged;
bool windowOpen = false;

void setOpen(bool open) {
    std::lock_guard<std::mutex> guard(openLock);
    windowOpen = open;
    openChanged.notify_all();
}

// A host without Qt: one UI thread for the rest of the process, ready once the
// QApplication exists.
void startOwnUiThread() {
    static std::once_flag started;
    std::call_once(started, [] {
        std::mutex readyLock;
        std::condition_variable readyChanged;
        bool ready = false;
        std::thread([&] {
            static int argc = 1;
            static char name[] = "glimmerpane";
            static char* argv[] = {name, nullptr};
            QApplication application(argc, argv);
            application.setQuitOnLastWindowClosed(false);
            {
                std::lock_guard<std::mutex> guard(readyLock);
                ready = true;
                readyChanged.notify_all();
            }
            application.exec();
        }).detach();
        std::unique_lock<std::mutex> guard(readyLock);
        readyChanged.wait(guard, [&] { return ready; });
    });
}

bool onUiThread() {
    return QThread::currentThread() == qApp->thread();
}

// The window is gone: detach it, and with "autoclose" 1 end the program.
void windowEnded(NNTPmodel_iface* model) {
    stopUiProbe();
    mainWindow->setmodel(nullptr);
    printf("term:  %s\n", kName);
    if (!hostCloses && profile::getInt("DEFAULT", "autoclose", 1, CONFIG_INI) == 1)
        _observable::sendCommand(model, cmdTerminate, nullptr, nullptr);
    setOpen(false);
}

void openWindow(NNTPmodel_iface* model) {
    if (mainWindow && mainWindow->handle()) {
        QWidget* window = mainWindow->handle();
        window->showNormal();
        window->raise();
        window->activateWindow();
        return;
    }
    printf("start: %s\n", kName);
    hostCloses = false;
    mainWindow = std::make_unique<cWndMain>();
    setOpen(true);
    mainWindow->onDestroyed([model] { windowEnded(model); });
    if (mainWindow->create(nullptr) != 0) {
        windowEnded(model);
        return;
    }
    mainWindow->setmodel(model);
    mainWindow->handle()->show();
    startUiProbe();
    if (profile::getInt("DEFAULT", "showabout", 1, CONFIG_INI) == 1)
        cWnd::postMessage(mainWindow->handle(), WM_COMMAND, makeCommand(0, 32772), 0);
}

// Popup menus and modal dialogs first, one per pass: each runs a loop of its own inside
// the window's code, and a popup menu is a child of the window, so destroying the window
// under it would destroy the menu too.
void closeWindow() {
    if (!mainWindow || !mainWindow->handle()) return;
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    } else if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        modal->reject();
    } else {
        mainWindow->handle()->close();
        return;
    }
    QMetaObject::invokeMethod(qApp, closeWindow, Qt::QueuedConnection);
}

} // namespace

int initialize(void* model) {
    if (!model) return 0;
    if (!qApp) startOwnUiThread();
    auto* iface = static_cast<NNTPmodel_iface*>(model);
    QMetaObject::invokeMethod(qApp, [iface] { openWindow(iface); }, Qt::QueuedConnection);
    return 1;
}

int terminate(void*) {
    if (!qApp) return 0;
    hostCloses = true;
    if (onUiThread()) {
        closeWindow();
        return 0;
    }
    QMetaObject::invokeMethod(qApp, closeWindow, Qt::QueuedConnection);
    {
        std::unique_lock<std::mutex> guard(openLock);
        openChanged.wait_for(guard, kCloseWait, [] { return !windowOpen; });
    }
    // One pass of the UI thread, so no code of this library is still running there.
    struct tpass {
        std::mutex lock;
        std::condition_variable changed;
        bool done = false;
    };
    auto pass = std::make_shared<tpass>();
    QMetaObject::invokeMethod(qApp, [pass] {
        std::lock_guard<std::mutex> guard(pass->lock);
        pass->done = true;
        pass->changed.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(pass->lock);
    pass->changed.wait_for(guard, kCloseWait, [&] { return pass->done; });
    return 0;
}
