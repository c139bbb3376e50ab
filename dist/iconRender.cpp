// corvane-icons: writes the program's drawing as the PNG files of an icon theme,
// <folder>/<n>x<n>/apps/<name>.png for every size asked for. Sizes of a drawing or a
// whole multiple of one are drawn pixel for pixel; any other size is scaled smoothly
// from the nearest larger drawing.
#include "brindleIcons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

QImage drawnAt(const QIcon& icon, int size) {
    QList<QSize> drawings = icon.availableSizes();
    std::sort(drawings.begin(), drawings.end(),
              [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
    for (auto it = drawings.crbegin(); it != drawings.crend(); ++it)
        if (size % it->width() == 0)
            return icon.pixmap(*it).toImage().scaled(size, size, Qt::IgnoreAspectRatio,
                                                     Qt::FastTransformation);
    for (const QSize& drawing : drawings)
        if (drawing.width() > size)
            return icon.pixmap(drawing).toImage().scaled(size, size, Qt::IgnoreAspectRatio,
                                                         Qt::SmoothTransformation);
    return {};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: corvane-icons FOLDER NAME SIZE...\n");
        return 2;
    }
    // Drawing into images needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    const QIcon icon = brindleIcons::program();
    for (int i = 3; i < argc; ++i) {
        const int size = atoi(argv[i]);
        const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
        const QImage image = size > 0 ? drawnAt(icon, size) : QImage();
        if (image.isNull() || !QDir().mkpath(folder) ||
            !image.save(folder + "/" + argv[2] + ".png", "PNG")) {
            fprintf(stderr, "corvane-icons: cannot write the %s icon at %s px into %s\n", argv[2],
                    argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
