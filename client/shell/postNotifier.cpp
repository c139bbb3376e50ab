#include "postNotifier.h"

#include "desktopNotification.h"
#include "postStageText.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

bool working(int stage) {
    return stage >= ppWaiting && stage <= ppUnpacking;
}

bool finished(int stage) {
    return stage == ppDone || stage == ppFailed;
}

// One line per notice, however it went out: without a desktop it is the only one.
void logNotice(const QString& title, const QString& text, const QString& how) {
    printf("notice: %s: %s (%s)\n", title.toUtf8().constData(), text.toUtf8().constData(),
           how.toUtf8().constData());
}

} // namespace

postNotifier::postNotifier(NNTPmodel_iface* queue, TrayMessage trayMessage)
    : queue(queue), trayMessage(std::move(trayMessage)) {
    if (queue) queue->attach(this);
}

postNotifier::~postNotifier() {
    if (queue) queue->detach(this);
}

void postNotifier::update(unsigned code, void* data) {
    if (code != updPostStage || !data) return;
    const tpost& post = *static_cast<const tpost*>(data);
    // A post first seen done or failed had that stage stored: no news.
    if (!working(stages.remember(post)) || !finished(post.ppStage)) return;
    const QString title =
        QString::fromUtf8(post.postDesc, strnlen(post.postDesc, sizeof post.postDesc));
    const QString text = QString::fromStdString(postStageText(post));
    QMetaObject::invokeMethod(
        &receiver, [this, title, text] { tell(title, text); }, Qt::QueuedConnection);
}

void postNotifier::tell(const QString& title, const QString& text) {
    if (trayMessage && trayMessage(title, text)) {
        logNotice(title, text, "tray message");
        return;
    }
    sendDesktopNotification(title, text, &receiver, [title, text](bool taken, const QString& why) {
        logNotice(title, text, taken ? "desktop notification" : "no desktop notification: " + why);
    });
}
