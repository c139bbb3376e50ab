// The window framework of the download window: a thin layer over Qt Widgets that keeps
// the rules the window code is written against.
//
// - A window handle (HWND) is the QWidget. The object that drives a window is stored in
//   the widget (its user data); WindowProcStatic hands every message of the window to
//   that object's WindowProc, and answers 0 for a window without an object.
// - Every object has a message map: message number -> one member handler. The first
//   registration of a number wins. WindowProc calls the handler and answers 1; a message
//   without handler goes to the previous procedure when the object took the window over,
//   else answers 0 (for a pane made from a dialog template the dialog does the default;
//   for other windows Qt does its own default processing after a 0).
// - Qt events of a window taken over become messages: resize -> WM_SIZE (wparam
//   SIZE_RESTORED / SIZE_MAXIMIZED / SIZE_MINIMIZED, lparam width | height << 16), close
//   -> WM_CLOSE (when handled the window stays until the handler destroys it), being
//   minimized or restored -> WM_SYSCOMMAND SC_MINIMIZE / SC_RESTORE, dropped files ->
//   WM_DROPFILES (wparam: const std::vector<std::string>* of local paths).
// - Controls carry numeric ids (setControlId) and are found by id (GetDlgItem).
//
// All of it runs on the UI thread.
#pragma once
#include "WindowMessages.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

using HWND = QWidget*;

class cWnd {
  public:
    // One handler of the message map: (window, first parameter, second parameter).
    using t_handler = std::function<void(HWND, uintptr_t, intptr_t)>;
    struct t_MessageEntry {
        t_handler handler;
    };
    // A window procedure that had the window before this object took it over.
    using t_procedure = std::function<intptr_t(HWND, unsigned, uintptr_t, intptr_t)>;

    cWnd() = default;
    // Destroys the window if one exists and empties the map.
    virtual ~cWnd();
    cWnd(const cWnd&) = delete;
    cWnd& operator=(const cWnd&) = delete;

    virtual intptr_t WindowProc(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);
    virtual void on_WM_CHAR(HWND, unsigned, intptr_t) {}
    // A top-level window at (50, 50), 512 x 512, visible. 6 when a window exists already.
    virtual int create(HWND parent);

    HWND handle() const { return window.data(); }
    int dialogTemplateId() const { return templateId; }

    // Makes `hwnd` this object's window: stores the object in it and turns its events
    // into messages. `templateId` non-zero marks a pane made from a dialog template.
    void takeOver(HWND hwnd, int templateId = 0);
    void setPreviousProcedure(t_procedure procedure) { previous = std::move(procedure); }

    // The single window procedure: the stored object's WindowProc, else 0. WM_NCCREATE
    // with an object in lParam stores it and answers 1.
    static intptr_t WindowProcStatic(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);
    static cWnd* userData(const QWidget* hwnd);
    static void setUserData(QWidget* hwnd, cWnd* object);

    // Delivers a message now.
    static intptr_t sendMessage(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);
    // Delivers a message later on the UI thread; dropped when the window is gone by then.
    // Any thread may call it.
    static void postMessage(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);

  protected:
    // Registers `fn` for `msg` unless the number has a handler already.
    template <class T> void AddHandler(unsigned msg, void (T::*fn)(HWND, uintptr_t, intptr_t)) {
        T* self = static_cast<T*>(this);
        addEntry(msg, [self, fn](HWND h, uintptr_t w, intptr_t l) { (self->*fn)(h, w, l); });
    }
    void addEntry(unsigned msg, t_handler handler);
    // A plain window at (50, 50), 512 x 512 under `parentWindow`, taken over by this
    // object; not shown yet.
    HWND createPlainWindow(HWND parentWindow);

    // Destroys the window now (its children with it).
    void destroyWindow();

    QPointer<QWidget> window;
    HWND parent = nullptr;
    int templateId = 0;

  private:
    std::map<unsigned, t_MessageEntry> messageMap;
    t_procedure previous;
};

// Control ids, as dialog templates give them.
void setControlId(QWidget* control, int id);
int controlId(const QWidget* control);
// The first descendant of `dialog` with that id, or null.
QWidget* GetDlgItem(const QWidget* dialog, int id);

// Sends WM_COMMAND (code << 16 | id) to `hwnd`.
intptr_t sendCommand(HWND hwnd, int id, int code = 0, intptr_t lParam = 0);
