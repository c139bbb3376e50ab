#include "cWnd.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWindowStateChangeEvent>

#include <string>
#include <vector>

namespace {

const char* const kObjectProperty = "cWnd.object";
const char* const kIdProperty = "cWnd.controlId";

uintptr_t sizeKind(const QWidget* widget) {
    if (!widget->isWindow()) return SIZE_RESTORED;
    if (widget->isMinimized()) return SIZE_MINIMIZED;
    if (widget->isMaximized()) return SIZE_MAXIMIZED;
    return SIZE_RESTORED;
}

std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

// Turns the Qt events of one window into the messages of its object.
class EventTranslator : public QObject {
  public:
    explicit EventTranslator(QWidget* window) : QObject(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* hwnd = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Resize:
            cWnd::WindowProcStatic(hwnd, WM_SIZE, sizeKind(hwnd),
                                   makeParam(hwnd->width(), hwnd->height()));
            return false;
        case QEvent::Close:
            if (!cWnd::WindowProcStatic(hwnd, WM_CLOSE, 0, 0)) return false;
            event->ignore(); // the handler decides whether the window goes
            return true;
        case QEvent::WindowStateChange: {
            auto* change = static_cast<QWindowStateChangeEvent*>(event);
            bool was = change->oldState() & Qt::WindowMinimized;
            if (hwnd->isMinimized() && !was)
                cWnd::WindowProcStatic(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            else if (was && !hwnd->isMinimized())
                cWnd::WindowProcStatic(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
            return false;
        }
        case QEvent::DragEnter: {
            auto* enter = static_cast<QDragEnterEvent*>(event);
            if (localFiles(enter->mimeData()).empty()) return false;
            enter->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            std::vector<std::string> files = localFiles(drop->mimeData());
            if (files.empty()) return false;
            drop->acceptProposedAction();
            cWnd::WindowProcStatic(hwnd, WM_DROPFILES, reinterpret_cast<uintptr_t>(&files), 0);
            return true;
        }
        default:
            return false;
        }
    }
};

} // namespace

cWnd::~cWnd() {
    if (QWidget* hwnd = window.data()) {
        setUserData(hwnd, nullptr);
        delete hwnd;
    }
    window.clear();
    parent = nullptr;
    messageMap.clear();
}

intptr_t cWnd::WindowProc(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    auto entry = messageMap.find(msg);
    if (entry == messageMap.end()) {
        if (previous) return previous(hwnd, msg, wParam, lParam);
        return 0; // a dialog's manager, or Qt itself, does the default
    }
    entry->second.handler(hwnd, wParam, lParam);
    return 1;
}

int cWnd::create(HWND parentWindow) {
    if (window) return 6;
    createPlainWindow(parentWindow)->show();
    return 0;
}

HWND cWnd::createPlainWindow(HWND parentWindow) {
    parent = parentWindow;
    auto* hwnd = new QWidget(parentWindow);
    hwnd->setGeometry(50, 50, 512, 512);
    takeOver(hwnd);
    return hwnd;
}

void cWnd::takeOver(HWND hwnd, int dialogTemplate) {
    window = hwnd;
    templateId = dialogTemplate;
    WindowProcStatic(hwnd, WM_NCCREATE, 0, reinterpret_cast<intptr_t>(this));
    hwnd->installEventFilter(new EventTranslator(hwnd));
}

void cWnd::addEntry(unsigned msg, t_handler handler) {
    messageMap.emplace(msg, t_MessageEntry{std::move(handler)});
}

void cWnd::destroyWindow() {
    QWidget* hwnd = window.data();
    window.clear();
    if (!hwnd) return;
    setUserData(hwnd, nullptr);
    hwnd->hide();
    hwnd->deleteLater(); // may be inside one of its own events
}

intptr_t cWnd::WindowProcStatic(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (!hwnd) return 0;
    if (msg == WM_NCCREATE && lParam) {
        setUserData(hwnd, reinterpret_cast<cWnd*>(lParam));
        return 1;
    }
    cWnd* object = userData(hwnd);
    return object ? object->WindowProc(hwnd, msg, wParam, lParam) : 0;
}

cWnd* cWnd::userData(const QWidget* hwnd) {
    return hwnd ? reinterpret_cast<cWnd*>(hwnd->property(kObjectProperty).value<quintptr>())
                : nullptr;
}

void cWnd::setUserData(QWidget* hwnd, cWnd* object) {
    hwnd->setProperty(kObjectProperty, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
}

intptr_t cWnd::sendMessage(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    return WindowProcStatic(hwnd, msg, wParam, lParam);
}

void cWnd::postMessage(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    QPointer<QWidget> target(hwnd);
    QMetaObject::invokeMethod(
        hwnd,
        [target, msg, wParam, lParam] {
            if (target) WindowProcStatic(target, msg, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void setControlId(QWidget* control, int id) {
    control->setProperty(kIdProperty, id);
}

int controlId(const QWidget* control) {
    return control ? control->property(kIdProperty).toInt() : 0;
}

QWidget* GetDlgItem(const QWidget* dialog, int id) {
    if (!dialog) return nullptr;
    for (QWidget* child : dialog->findChildren<QWidget*>())
        if (controlId(child) == id) return child;
    return nullptr;
}

intptr_t sendCommand(HWND hwnd, int id, int code, intptr_t lParam) {
    return cWnd::sendMessage(hwnd, WM_COMMAND, makeCommand(code, id), lParam);
}
