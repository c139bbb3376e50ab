#include "uiMessageBox.h"

#include "msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace uiMessageBox {
namespace {

// Calls from other threads that wait for the UI thread; the loop must outlive them.
std::mutex waitLock;
std::condition_variable noneWaiting;
bool accepting = false;
int waiting = 0;

QMessageBox::Icon iconOf(unsigned flags) {
    switch (flags & 0xf0) {
    case msgbox::ICONERROR:
        return QMessageBox::Critical;
    case msgbox::ICONQUESTION:
        return QMessageBox::Question;
    case msgbox::ICONWARNING:
        return QMessageBox::Warning;
    case msgbox::ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int showHere(const char* text, const char* title, unsigned flags) {
    bool question = (flags & 0xf) == msgbox::YESNO;
    QMessageBox box(iconOf(flags), QString::fromUtf8(title ? title : ""),
                    QString::fromUtf8(text ? text : ""),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    int button = box.exec();
    if (!question) return msgbox::IDOK;
    return button == QMessageBox::Yes ? msgbox::IDYES : msgbox::IDNO;
}

int show(const char* text, const char* title, unsigned flags) {
    {
        std::unique_lock<std::mutex> guard(waitLock);
        // Uninstalled meanwhile: the console answers (the handler is gone by now).
        if (!accepting) {
            guard.unlock();
            return msgbox::show(text, title, flags);
        }
        if (QThread::currentThread() == qApp->thread()) {
            guard.unlock();
            return showHere(text, title, flags);
        }
        ++waiting;
    }
    int answer = msgbox::IDOK;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = showHere(text, title, flags); }, Qt::BlockingQueuedConnection);
    {
        std::lock_guard<std::mutex> guard(waitLock);
        --waiting;
    }
    noneWaiting.notify_all();
    return answer;
}

} // namespace

void install() {
    {
        std::lock_guard<std::mutex> guard(waitLock);
        accepting = true;
    }
    msgbox::setHandler(show);
}

void uninstall() {
    msgbox::setHandler(nullptr);
    std::unique_lock<std::mutex> guard(waitLock);
    accepting = false;
    noneWaiting.wait(guard, [] { return waiting == 0; });
}

} // namespace uiMessageBox
