#include "brindleIcons.h"

#include <QPixmap>

#include <array>

namespace {

#include "icons/program_16.xpm"
#include "icons/program_32.xpm"
#include "icons/program_48.xpm"

#include "icons/toolbar_about.xpm"
#include "icons/toolbar_cleartemp.xpm"
#include "icons/toolbar_configure.xpm"
#include "icons/toolbar_decoder.xpm"
#include "icons/toolbar_history.xpm"
#include "icons/toolbar_import.xpm"
#include "icons/toolbar_priority.xpm"
#include "icons/toolbar_queue.xpm"
#include "icons/toolbar_quit.xpm"

#include "icons/file_decoded.xpm"
#include "icons/file_decoding.xpm"
#include "icons/file_downloading.xpm"
#include "icons/file_failed.xpm"
#include "icons/file_not_queued.xpm"
#include "icons/file_queued.xpm"
#include "icons/file_waiting.xpm"

#include "icons/worker_active.xpm"
#include "icons/worker_disabled.xpm"
#include "icons/worker_idle.xpm"
#include "icons/worker_stopping.xpm"

QIcon fromXpm(const char* const* xpm) {
    return QIcon(QPixmap(xpm));
}

// A separator's place in the toolbar strip keeps the strip's image size.
QIcon blankToolbarImage() {
    QPixmap blank(24, 24);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

template <std::size_t N> QIcon pick(const std::array<QIcon, N>& icons, int index) {
    if (index < 0 || index >= static_cast<int>(N)) return {};
    return icons[index];
}

} // namespace

// The images are made on first use, which must come after the application object: a
// pixmap needs it.
namespace brindleIcons {

QIcon program() {
    static const QIcon icon = [] {
        QIcon sizes;
        for (const char* const* xpm : {program_16_xpm, program_32_xpm, program_48_xpm})
            sizes.addPixmap(QPixmap(xpm));
        return sizes;
    }();
    return icon;
}

QIcon toolbar(int position) {
    static const QIcon blank = blankToolbarImage();
    static const std::array<QIcon, 12> icons = {
        fromXpm(toolbar_quit_xpm),      blank,
        fromXpm(toolbar_configure_xpm), fromXpm(toolbar_history_xpm),
        fromXpm(toolbar_about_xpm),     blank,
        fromXpm(toolbar_queue_xpm),     fromXpm(toolbar_priority_xpm),
        fromXpm(toolbar_decoder_xpm),   blank,
        fromXpm(toolbar_import_xpm),    fromXpm(toolbar_cleartemp_xpm),
    };
    return pick(icons, position);
}

QIcon fileState(int state) {
    static const std::array<QIcon, 7> icons = {
        fromXpm(file_not_queued_xpm), fromXpm(file_queued_xpm),   fromXpm(file_downloading_xpm),
        fromXpm(file_waiting_xpm),    fromXpm(file_decoding_xpm), fromXpm(file_decoded_xpm),
        fromXpm(file_failed_xpm),
    };
    return pick(icons, state);
}

QIcon clientState(int state) {
    static const std::array<QIcon, 4> icons = {
        fromXpm(worker_disabled_xpm),
        fromXpm(worker_idle_xpm),
        fromXpm(worker_active_xpm),
        fromXpm(worker_stopping_xpm),
    };
    return pick(icons, state);
}

} // namespace brindleIcons
