// How long the search window takes from a keystroke in the keyword box to the repainted
// result list: the real window under the offscreen platform over a results table of
// 100,000 rows. Each keystroke changes the subject filter; the time runs until the list
// view paints after the refresh thread's new page has been shown. The keystrokes come at
// random moments, so they meet the refresh loop at every point of its polling cycle.
#include "BenchSupport.h"
#include "CDlgMain.h"
#include "CDlgResult.h"
#include "CDlgSearch.h"
#include "CMiravelDB.h"
#include "ProcessEventsUntil.h"
#include "ResultRows.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace {

const int kRows = 100000;
// Words typed letter by letter and taken back again, as someone narrowing a search does.
const char* const kWords[] = {"summer", "glacier.diary", "1080p", "castle 1999", "flac"};

// Notes when the list has been given a new page and when its view paints after that,
// in nanoseconds of its own clock.
class RepaintWatch : public QObject {
  public:
    explicit RepaintWatch(QAbstractItemView* view) : viewport(view->viewport()) {
        viewport->installEventFilter(this);
        QAbstractItemModel* model = view->model();
        auto shown = [this] { pageShown = true; };
        connect(model, &QAbstractItemModel::modelReset, this, shown);
        connect(model, &QAbstractItemModel::layoutChanged, this, shown);
        connect(model, &QAbstractItemModel::rowsInserted, this, shown);
        connect(model, &QAbstractItemModel::rowsRemoved, this, shown);
        connect(model, &QAbstractItemModel::dataChanged, this, shown);
        clock.start();
    }
    qint64 now() const { return clock.nsecsElapsed(); }
    void arm() { pageShown = painted = false; }
    bool done() const { return painted; }
    qint64 paintedAt() const { return paintedAtNs; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == viewport && event->type() == QEvent::Paint && pageShown && !painted) {
            painted = true;
            paintedAtNs = now();
        }
        return false;
    }

  private:
    QWidget* viewport;
    QElapsedTimer clock;
    bool pageShown = false;
    bool painted = false;
    qint64 paintedAtNs = 0;
};

// The association check of the window's start must not see the user's own folders.
void isolateDesktopFolders(const std::string& home) {
    const char* variables[][2] = {{"HOME", "/home"},
                                  {"XDG_DATA_HOME", "/data"},
                                  {"XDG_CONFIG_HOME", "/config"},
                                  {"XDG_DATA_DIRS", "/sysdata"},
                                  {"XDG_CONFIG_DIRS", "/sysconfig"}};
    for (const auto& variable : variables) {
        std::filesystem::create_directories(home + variable[1]);
        setenv(variable[0], (home + variable[1]).c_str(), 1);
    }
    const std::string runtime = home + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

double percentile(std::vector<double> samples, double share) {
    std::sort(samples.begin(), samples.end());
    size_t index = (size_t)(share * (double)(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    int samples = 60;
    int pollMs = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--samples") == 0) samples = std::max(1, atoi(argv[i + 1]));
        if (strcmp(argv[i], "--poll-ms") == 0) pollMs = std::max(1, atoi(argv[i + 1]));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    bench::WorkFolder folder;
    setenv("MIRAVEL_HOME", folder.path.c_str(), 1);
    isolateDesktopFolders(folder.path + "/xdg");
    // No engine host reaches past this machine, should anything ask one.
    std::ofstream(folder.path + "/cfg/engines.ini")
        << "[binsearch]\nhost=127.0.0.1:9\n[nzbindex]\nhost=127.0.0.1:9\n"
           "[yabsearch]\nhost=127.0.0.1:9\n";
    {
        bench::QuietStdout quiet;
        CMiravelDB db;
        db.insertData(bench::generateResultRows(kRows).c_str());
    }

    QApplication app(argc, argv);
    std::vector<double> times;
    {
        bench::QuietStdout quiet;
        CDlgMain main;
        QWidget* window = main.Create(nullptr, CDlgMain::TEMPLATE_ID);
        if (!window) return 1;
        window->show();
        auto* list =
            qobject_cast<QAbstractItemView*>(main.resultPanel().item(CDlgResult::IDC_LIST));
        auto* keyword = qobject_cast<QComboBox*>(main.searchPanel().item(CDlgSearch::IDC_KEYWORD));
        if (!list || !keyword || !keyword->lineEdit()) return 1;
        if (pollMs > 0) main.resultPanel().setPollInterval(pollMs);
        processEventsUntil([&] { return list->model()->rowCount() > 1; }, 30000);

        RepaintWatch watch(list);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> pause(0, 600);
        keyword->lineEdit()->setFocus();
        size_t word = 0, typed = 0;
        bool erasing = false;
        while ((int)times.size() < samples) {
            QTest::qWait(pause(random));
            const std::string text = kWords[word];
            watch.arm();
            qint64 start = watch.now();
            if (erasing)
                QTest::keyClick(keyword->lineEdit(), Qt::Key_Backspace);
            else
                QTest::keyClick(keyword->lineEdit(), text[typed]);
            if (!processEventsUntil([&] { return watch.done(); }, 30000)) break;
            times.push_back((double)(watch.paintedAt() - start) / 1e6);
            typed = erasing ? typed - 1 : typed + 1;
            if (!erasing && typed == text.size()) erasing = true;
            if (erasing && typed == 0) {
                erasing = false;
                word = (word + 1) % (sizeof kWords / sizeof kWords[0]);
            }
        }
    }
    if (times.empty()) {
        printf("no keystroke reached the list\n");
        return 1;
    }
    printf("%d rows | %zu keystrokes | median %.1f ms | p99 %.1f ms | max %.1f ms | goal p99 "
           "< 500 ms\n",
           kRows, times.size(), percentile(times, 0.5), percentile(times, 0.99),
           percentile(times, 1.0));
    printf("peak memory %ld KiB\n", bench::peakRssKb());
    return (int)times.size() == samples ? 0 : 1;
}
