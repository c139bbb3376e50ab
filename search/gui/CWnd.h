// The window framework of the search window: a thin layer over Qt Widgets that gives
// every dialog the shape its logic was written for.
//
// - A dialog is a QWidget built in code from a numbered template (buildTemplate); its
//   controls carry numeric ids (bindControl) and are looked up by id (item).
// - The QWidget* is the window handle. The object that drives a window is attached to
//   it, and the shared procedure WndProcStatic hands every message of that window to the
//   object's WndProcCustom; a window without an object answers 0 (not handled).
// - Qt events become messages (WindowMessages.h): resize -> WM_SIZE (wparam SIZE_*,
//   lparam width | height << 16), close -> WM_CLOSE (a non-zero result keeps the window
//   open), context menu -> WM_CONTEXTMENU (wparam the widget under the cursor, lparam
//   the global point), mouse move -> WM_MOUSEMOVE and left button release -> WM_LBUTTONUP
//   (lparam the point in the dialog), Enter / Escape not taken by a control -> WM_COMMAND
//   IDOK / IDCANCEL.
// - Control signals become WM_COMMAND notifications sent to the control's dialog, with
//   (code << 16 | id) in wparam and the control in lparam: buttons BN_CLICKED; combo
//   boxes CBN_SELCHANGE (an entry picked), CBN_EDITCHANGE (text typed), CBN_SETFOCUS,
//   CBN_KILLFOCUS, CBN_DROPDOWN; line edits EN_CHANGE (text typed), EN_SETFOCUS,
//   EN_KILLFOCUS. Text set by the program notifies nobody.
// - Menu entries and accelerators send WM_COMMAND with code 0 to the window they were
//   made for, wherever the menu is shown.
//
// Everything here runs on the UI thread, except postMessage, which any thread may call
// while the window exists. Texts cross as UTF-8.
#pragma once
#include "WindowMessages.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>

class QAction;
class QKeySequence;
class QMenu;

class CWnd {
  public:
    CWnd() = default;
    // Destroys the window, if it still exists.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The existing window when there is one, and nothing else happens. Otherwise builds
    // the dialog of `templateId` under `parent`, attaches this object and sends it
    // WM_INITDIALOG. With a parent the dialog is a child widget and is shown at once;
    // without one it is a top-level window that the caller shows. Null when no
    // QApplication exists.
    virtual QWidget* Create(QWidget* parent, int templateId);
    // The object's messages; the base handles none and returns 0.
    virtual intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                                   intptr_t lparam);

    // The window, null before Create and after the window has been destroyed.
    QWidget* handle() const { return window.data(); }
    int templateId() const { return templ; }

    // The shared dialog procedure: the attached object's WndProcCustom, else 0. A
    // WM_INITDIALOG whose lparam carries an object attaches it first when none is
    // attached (modal dialogs hand their object over that way).
    static intptr_t WndProcStatic(QWidget* window, unsigned message, uintptr_t wparam,
                                  intptr_t lparam);
    // The object attached to `window`, or null.
    static CWnd* attached(const QWidget* window);

    // Delivers a message now, like a call.
    static intptr_t sendMessage(QWidget* window, unsigned message, uintptr_t wparam,
                                intptr_t lparam);
    // Queues a message for the window's thread; dropped when the window is gone by then.
    static void postMessage(QWidget* window, unsigned message, uintptr_t wparam, intptr_t lparam);
    // WM_COMMAND with (code << 16 | id) in wparam.
    static intptr_t sendCommand(QWidget* window, int id, int code = 0, intptr_t lparam = 0);
    // Ends the running event loop with `code` once control returns to it.
    static void postQuitMessage(int code);

    // Gives `control` the id `id` and turns its signals into notifications (see above).
    // Call it after the control is complete (a combo box after it is made editable).
    static void bindControl(QWidget* control, int id);
    // The control's id, 0 when it has none.
    static int controlId(const QWidget* control);
    // The first control of `dialog` with that id, not looking into nested dialogs.
    static QWidget* item(const QWidget* dialog, int id);
    QWidget* item(int id) const { return item(handle(), id); }
    // The dialog a control belongs to.
    static QWidget* dialogOf(const QWidget* control);

    // Text of a control: a combo box's edit text, a button's, label's or edit field's
    // text, the first part of a status bar.
    static std::string textOf(const QWidget* control);
    // A combo box's selected list entry (empty when none is selected); else textOf.
    static std::string selectedTextOf(const QWidget* control);
    // Sets that text; false when the control has none.
    static bool setTextOf(QWidget* control, const char* text);
    // Copies the text of control `id` into `text`, at most size - 1 characters and
    // zero-terminated; returns the characters copied (0 and empty text without control).
    int getText(int id, char* text, int size) const;
    std::string getText(int id) const { return textOf(item(id)); }
    bool setText(int id, const char* text) { return setTextOf(item(id), text); }

    // A menu entry sending command `id` to `target`; a shortcut label is shown
    // right-aligned after the text.
    static QAction* addCommand(QMenu* menu, QWidget* target, const char* text, int id,
                               const char* shortcutLabel = nullptr);
    // The menu of `window`'s menu bar titled `title` (as written, with its '&').
    static QMenu* findMenu(const QWidget* window, const char* title);
    // A key that sends command `id` to `window` while the window or any of its children
    // is active.
    static void addAccelerator(QWidget* window, const QKeySequence& keys, int id);

  protected:
    // Builds the controls of template `templateId` into `dialog`; the base builds none.
    virtual void buildTemplate(QWidget* dialog, int templateId);
    // Makes a widget a dialog of this framework: marks it and translates its events.
    // Create does this; dialogs that run modally call it on their own QDialog.
    static void prepareDialog(QWidget* dialog);
    // Records a window made outside Create (modal dialogs).
    void setHandle(QWidget* dialog) { window = dialog; }

  private:
    static void attach(QWidget* window, CWnd* object);

    QPointer<QWidget> window;
    int templ = 0;
};
