#include "desktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace {

const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
// A server that takes longer is as good as none: the log keeps the notice then.
const int kAnswerMs = 5000;

} // namespace

void sendDesktopNotification(const QString& title, const QString& text, QObject* owner,
                             std::function<void(bool taken, const QString& why)> answered) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().message();
        answered(false, why.isEmpty() ? QString("no session bus") : why);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    // Program, no notification to replace, no icon, summary, body, no actions, no hints,
    // the server's own display time.
    call << QString("Corvane") << 0u << QString() << title << text << QStringList() << QVariantMap()
         << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         answered(!done->isError(), done->error().message());
                     });
}
