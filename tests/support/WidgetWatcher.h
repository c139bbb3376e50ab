// Finding the dialogs and popups a test has opened: a timer polls, so the watch goes on
// inside the nested loop of a modal dialog or a popup menu too.
#pragma once
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

// Polls from a timer, so also inside the loop of a modal dialog or a popup menu, and
// hands each widget that `find` returns to `handle`, once.
class WidgetWatcher {
  public:
    WidgetWatcher(std::function<QWidget*()> find, std::function<void(QWidget*)> handle)
        : find(std::move(find)), handle(std::move(handle)) {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(5);
    }
    int seen() const { return count; }

  private:
    void poll() {
        QWidget* widget = find();
        if (!widget || widget == last) return;
        last = widget;
        ++count;
        handle(widget);
    }

    std::function<QWidget*()> find;
    std::function<void(QWidget*)> handle;
    QTimer timer;
    QPointer<QWidget> last;
    int count = 0;
};
