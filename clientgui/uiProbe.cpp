#include "uiProbe.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kIntervalMs = 10;

struct tprobe {
    std::string report; // as named when the window opened
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> lateness;
};

std::unique_ptr<tprobe> probe;

} // namespace

void startUiProbe() {
    const char* report = getenv("CORVANE_UI_PROBE");
    if (probe || !report) return;
    probe = std::make_unique<tprobe>();
    probe->report = report;
    probe->timer.setTimerType(Qt::PreciseTimer);
    probe->timer.setInterval(kIntervalMs);
    QObject::connect(&probe->timer, &QTimer::timeout, [] {
        qint64 now = probe->clock.nsecsElapsed();
        probe->lateness.push_back((double)(now - probe->last) / 1e6 - kIntervalMs);
        probe->last = now;
    });
    probe->clock.start();
    probe->timer.start();
}

void stopUiProbe() {
    if (!probe) return;
    probe->timer.stop();
    if (FILE* out = fopen(probe->report.c_str(), "w")) {
        for (double late : probe->lateness) fprintf(out, "%.3f\n", late);
        fclose(out);
    }
    probe.reset();
}
