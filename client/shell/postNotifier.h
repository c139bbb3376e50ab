// Tells the user when a post's post-processing has ended, done or failed: the tray's
// message when the icon sits in a notification area, else a desktop notification over
// the session bus, else only the log. The title is the post's name, the text the stage
// as the post pane shows it.
#pragma once
#include "NNTPmodel_iface.h"
#include "postStageMemory.h"

#include <QObject>
#include <QString>

#include <functional>

class postNotifier : public _observer {
  public:
    // Shows the tray's message; false when there is no icon in a notification area to
    // show it. Called on the UI thread.
    using TrayMessage = std::function<bool(const QString& title, const QString& text)>;

    // On the UI thread, where the notices go out; observes `queue` from now on.
    postNotifier(NNTPmodel_iface* queue, TrayMessage trayMessage);
    // On the UI thread: no notice goes out after it.
    ~postNotifier() override;
    postNotifier(const postNotifier&) = delete;
    postNotifier& operator=(const postNotifier&) = delete;

    // Engine threads. A post is told about once per change to done or failed: a post
    // seen first as done or failed (the stage a reload or a start finds stored), and the
    // same stage told again, are not news.
    void update(unsigned code, void* data) override;

  private:
    void tell(const QString& title, const QString& text);

    NNTPmodel_iface* queue;
    TrayMessage trayMessage;
    postStageMemory stages;
    QObject receiver; // lives on the UI thread; notices queued to it die with it
};
