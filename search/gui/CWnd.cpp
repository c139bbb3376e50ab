#include "CWnd.h"

#include "MessageBridge.h"
#include "utf8Text.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>

#include <cstring>

namespace {

// Widget properties that carry the framework's state.
const char OBJECT_PROPERTY[] = "corvWnd";
const char DIALOG_PROPERTY[] = "corvDialog";
const char ID_PROPERTY[] = "corvId";

bool isDialog(const QWidget* widget) {
    return widget->property(DIALOG_PROPERTY).toBool();
}

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QWidget* findControl(const QWidget* parent, int id) {
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || isDialog(widget)) continue;
        if (CWnd::controlId(widget) == id) return widget;
        if (QWidget* inner = findControl(widget, id)) return inner;
    }
    return nullptr;
}

QLabel* statusPart(const QStatusBar* bar) {
    return bar->findChild<QLabel*>();
}

} // namespace

CWnd::~CWnd() {
    if (QWidget* own = window.data()) {
        attach(own, nullptr);
        delete own;
    }
}

QWidget* CWnd::Create(QWidget* parent, int templateId) {
    if (window) return window;
    if (!QApplication::instance()) return nullptr;
    templ = templateId;
    auto* dialog = new QWidget(parent, parent ? Qt::Widget : Qt::Window);
    prepareDialog(dialog);
    buildTemplate(dialog, templateId);
    window = dialog;
    attach(dialog, this);
    sendMessage(dialog, WM_INITDIALOG, 0, reinterpret_cast<intptr_t>(this));
    if (parent && window) window->show();
    return window;
}

intptr_t CWnd::WndProcCustom(QWidget*, unsigned, uintptr_t, intptr_t) {
    return 0;
}

void CWnd::buildTemplate(QWidget*, int) {}

void CWnd::prepareDialog(QWidget* dialog) {
    dialog->setProperty(DIALOG_PROPERTY, true);
    translateDialogEvents(dialog);
}

void CWnd::attach(QWidget* window, CWnd* object) {
    window->setProperty(OBJECT_PROPERTY,
                        object ? QVariant::fromValue(reinterpret_cast<quintptr>(object))
                               : QVariant());
}

CWnd* CWnd::attached(const QWidget* window) {
    if (!window) return nullptr;
    return reinterpret_cast<CWnd*>(window->property(OBJECT_PROPERTY).value<quintptr>());
}

intptr_t CWnd::WndProcStatic(QWidget* window, unsigned message, uintptr_t wparam, intptr_t lparam) {
    if (!window) return 0;
    CWnd* object = attached(window);
    if (!object && message == WM_INITDIALOG && lparam != 0) {
        object = reinterpret_cast<CWnd*>(lparam);
        attach(window, object);
    }
    return object ? object->WndProcCustom(window, message, wparam, lparam) : 0;
}

intptr_t CWnd::sendMessage(QWidget* window, unsigned message, uintptr_t wparam, intptr_t lparam) {
    return WndProcStatic(window, message, wparam, lparam);
}

void CWnd::postMessage(QWidget* window, unsigned message, uintptr_t wparam, intptr_t lparam) {
    if (!window) return;
    QMetaObject::invokeMethod(
        window,
        [window, message, wparam, lparam] { WndProcStatic(window, message, wparam, lparam); },
        Qt::QueuedConnection);
}

intptr_t CWnd::sendCommand(QWidget* window, int id, int code, intptr_t lparam) {
    return sendMessage(window, WM_COMMAND, makeCommand(code, id), lparam);
}

void CWnd::postQuitMessage(int code) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

void CWnd::bindControl(QWidget* control, int id) {
    control->setProperty(ID_PROPERTY, id);
    const QPointer<QWidget> source(control);
    auto notify = [source](int code) {
        if (!source) return;
        if (QWidget* dialog = dialogOf(source))
            sendCommand(dialog, controlId(source), code, reinterpret_cast<intptr_t>(source.data()));
    };
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::clicked, control,
                         [notify] { notify(BN_CLICKED); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::activated, control,
                         [notify] { notify(CBN_SELCHANGE); });
        if (QLineEdit* edit = combo->lineEdit())
            QObject::connect(edit, &QLineEdit::textEdited, control,
                             [notify] { notify(CBN_EDITCHANGE); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QObject::connect(edit, &QLineEdit::textEdited, control, [notify] { notify(EN_CHANGE); });
    }
    translateControlEvents(control);
}

int CWnd::controlId(const QWidget* control) {
    return control ? control->property(ID_PROPERTY).toInt() : 0;
}

QWidget* CWnd::item(const QWidget* dialog, int id) {
    return dialog ? findControl(dialog, id) : nullptr;
}

QWidget* CWnd::dialogOf(const QWidget* control) {
    for (QWidget* widget = control ? control->parentWidget() : nullptr; widget;
         widget = widget->parentWidget())
        if (isDialog(widget)) return widget;
    return nullptr;
}

std::string CWnd::textOf(const QWidget* control) {
    if (auto* combo = qobject_cast<const QComboBox*>(control)) return utf8(combo->currentText());
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return utf8(edit->text());
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return utf8(button->text());
    if (auto* label = qobject_cast<const QLabel*>(control)) return utf8(label->text());
    if (auto* bar = qobject_cast<const QStatusBar*>(control))
        if (QLabel* part = statusPart(bar)) return utf8(part->text());
    return {};
}

std::string CWnd::selectedTextOf(const QWidget* control) {
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->currentIndex() < 0 ? std::string()
                                         : utf8(combo->itemText(combo->currentIndex()));
    return textOf(control);
}

bool CWnd::setTextOf(QWidget* control, const char* text) {
    const QString value = QString::fromUtf8(text ? text : "");
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (!combo->isEditable()) return false;
        combo->setEditText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
    } else if (auto* bar = qobject_cast<QStatusBar*>(control)) {
        QLabel* part = statusPart(bar);
        if (!part) return false;
        part->setText(value);
    } else {
        return false;
    }
    return true;
}

int CWnd::getText(int id, char* text, int size) const {
    if (!text || size <= 0) return 0;
    const std::string value = getText(id);
    const size_t count =
        utf8Cut(value.c_str(), std::min(value.size(), static_cast<size_t>(size - 1)));
    memcpy(text, value.data(), count);
    text[count] = 0;
    return static_cast<int>(count);
}

QAction* CWnd::addCommand(QMenu* menu, QWidget* target, const char* text, int id,
                          const char* shortcutLabel) {
    QString label = QString::fromUtf8(text);
    if (shortcutLabel) label += '\t' + QString::fromUtf8(shortcutLabel);
    QAction* action = menu->addAction(label);
    action->setData(id);
    const QPointer<QWidget> receiver(target);
    QObject::connect(action, &QAction::triggered, action, [receiver, id] {
        if (receiver) sendCommand(receiver, id, BN_CLICKED);
    });
    return action;
}

QMenu* CWnd::findMenu(const QWidget* window, const char* title) {
    const QMenuBar* bar = window ? window->findChild<QMenuBar*>() : nullptr;
    if (!bar) return nullptr;
    const QString wanted = QString::fromUtf8(title);
    for (QAction* entry : bar->actions())
        if (entry->menu() && entry->text() == wanted) return entry->menu();
    return nullptr;
}

void CWnd::addAccelerator(QWidget* window, const QKeySequence& keys, int id) {
    auto* shortcut = new QShortcut(keys, window);
    shortcut->setContext(Qt::WindowShortcut);
    const QPointer<QWidget> receiver(window);
    QObject::connect(shortcut, &QShortcut::activated, window, [receiver, id] {
        if (receiver) sendCommand(receiver, id, BN_CLICKED);
    });
}
