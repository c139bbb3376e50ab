#include "MessageBridge.h"

#include "CWnd.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QResizeEvent>

namespace {

uintptr_t sizeKind(const QWidget* window) {
    const QWidget* top = window->window();
    if (top->isMinimized()) return SIZE_MINIMIZED;
    if (top->isMaximized()) return SIZE_MAXIMIZED;
    return SIZE_RESTORED;
}

class DialogEvents : public QObject {
  public:
    explicit DialogEvents(QWidget* dialog) : QObject(dialog), dialog(dialog) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != dialog) return false;
        switch (event->type()) {
        case QEvent::Resize: {
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            CWnd::sendMessage(dialog, WM_SIZE, sizeKind(dialog),
                              makeParam(size.width(), size.height()));
            return false;
        }
        case QEvent::Close:
            if (CWnd::sendMessage(dialog, WM_CLOSE, 0, 0) != 0) {
                event->ignore();
                return true;
            }
            return false;
        case QEvent::ContextMenu: {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            QWidget* under = dialog->childAt(menuEvent->pos());
            const QPoint at = menuEvent->globalPos();
            return CWnd::sendMessage(dialog, WM_CONTEXTMENU,
                                     reinterpret_cast<uintptr_t>(under ? under : dialog),
                                     makeParam(at.x(), at.y())) != 0;
        }
        case QEvent::MouseMove: {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            CWnd::sendMessage(dialog, WM_MOUSEMOVE, 0, makeParam(at.x(), at.y()));
            return false;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            const QPoint at = mouse->position().toPoint();
            CWnd::sendMessage(dialog, WM_LBUTTONUP, 0, makeParam(at.x(), at.y()));
            return false;
        }
        case QEvent::KeyPress:
            return dialogKey(static_cast<QKeyEvent*>(event));
        default:
            return false;
        }
    }

  private:
    // The dialog manager's keys: Enter is the default command, Escape the cancel
    // command. A QDialog does this itself.
    bool dialogKey(QKeyEvent* key) {
        if (qobject_cast<QDialog*>(dialog) || key->modifiers() & ~Qt::KeypadModifier) return false;
        int id = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) id = IDOK;
        if (key->key() == Qt::Key_Escape) id = IDCANCEL;
        if (id == 0) return false;
        CWnd::sendCommand(dialog, id, BN_CLICKED);
        return true;
    }

    QWidget* dialog;
};

class ControlEvents : public QObject {
  public:
    ControlEvents(QWidget* control, int setFocus, int killFocus)
        : QObject(control), control(control), setFocus(setFocus), killFocus(killFocus) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        // A popup (a drop-down list, a menu) borrows the focus without the control losing
        // it for the user.
        if (watched == control && (type == QEvent::FocusIn || type == QEvent::FocusOut)) {
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                notify(type == QEvent::FocusIn ? setFocus : killFocus);
        } else if (watched != control && type == QEvent::Show)
            notify(CBN_DROPDOWN);
        return false;
    }

  private:
    void notify(int code) {
        if (QWidget* dialog = CWnd::dialogOf(control))
            CWnd::sendCommand(dialog, CWnd::controlId(control), code,
                              reinterpret_cast<intptr_t>(control));
    }

    QWidget* control;
    int setFocus;
    int killFocus;
};

} // namespace

void translateDialogEvents(QWidget* dialog) {
    dialog->installEventFilter(new DialogEvents(dialog));
}

void translateControlEvents(QWidget* control) {
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        auto* events = new ControlEvents(control, CBN_SETFOCUS, CBN_KILLFOCUS);
        combo->installEventFilter(events);
        combo->view()->installEventFilter(events);
    } else if (qobject_cast<QLineEdit*>(control)) {
        control->installEventFilter(new ControlEvents(control, EN_SETFOCUS, EN_KILLFOCUS));
    }
}
