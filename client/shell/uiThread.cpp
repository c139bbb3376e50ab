#include "uiThread.h"

#include "uiMessageBox.h"

#include <QApplication>
#include <QGuiApplication>

#include <future>

namespace {

// QApplication keeps references to both for its whole life.
int argc = 1;
char programName[] = "corvane";
char* argv[] = {programName, nullptr};

void runEventLoop(std::promise<void>& ready) {
    QApplication application(argc, argv);
    // The main window may be closed and shown again; the tray stays meanwhile.
    QApplication::setQuitOnLastWindowClosed(false);
    ready.set_value();
    QApplication::exec();
}

} // namespace

UiThread::UiThread() {
    std::promise<void> ready;
    std::future<void> constructed = ready.get_future();
    thread = std::thread(runEventLoop, std::ref(ready));
    constructed.wait();
    // Without a display the offscreen platform has nothing to show a box on.
    if (QGuiApplication::platformName() != "offscreen") uiMessageBox::install();
}

UiThread::~UiThread() {
    uiMessageBox::uninstall();
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    thread.join();
}

void UiThread::runAndWait(const std::function<void()>& work) {
    if (std::this_thread::get_id() == thread.get_id())
        work();
    else
        QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
}
