// A notification on the desktop through the session bus's notification server
// (org.freedesktop.Notifications), for a desktop whose tray shows no messages.
#pragma once
#include <QObject>
#include <QString>

#include <functional>

// Sends the notification without waiting. `answered` runs on the calling thread's event
// loop (the UI thread's) with true once a server has taken it, or with false and why
// not: no session bus, no server on it, no answer within a few seconds. Nothing runs
// after `owner` is destroyed.
void sendDesktopNotification(const QString& title, const QString& text, QObject* owner,
                             std::function<void(bool taken, const QString& why)> answered);
