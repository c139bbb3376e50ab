// Takes the screenshots of the search window shown in the documentation: the real window
// with results from the test web servers on loopback, a keyword typed, the list sorted by
// size (largest first) and filtered to sizes above 1 MB through the column's filter
// editor.
// Meant to run under Xvfb (scripts/screenshots.sh); writes PNG files into the folder it
// is given. Everything else it touches lies in a temporary folder.
#include "CDlgMain.h"
#include "CDlgResult.h"
#include "CDlgSearch.h"
#include "EngineWebServers.h"
#include "ProcessEventsUntil.h"
#include "TestFolders.h"
#include "XdgSandbox.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace {

// Lets the refresh thread read the page again and the window show it.
bool settle(CDlgResult& results) {
    const int before = results.refreshCount();
    return processEventsUntil([&] { return results.refreshCount() > before; }) &&
           processEventsUntil([&] { return !results.refreshRequested(); });
}

// A filtered column's title carries a mark after its name.
int columnNamed(const QAbstractItemModel* model, const char* name) {
    for (int col = 0; col < model->columnCount(); ++col)
        if (model->headerData(col, Qt::Horizontal).toString().section(' ', 0, 0) == name)
            return col;
    return -1;
}

bool save(QWidget* window, const std::string& file) {
    QApplication::processEvents();
    if (window->grab().save(QString::fromStdString(file))) {
        printf("%s\n", file.c_str());
        return true;
    }
    fprintf(stderr, "cannot write %s\n", file.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string output = std::filesystem::absolute(argv[1]).string();
    XdgSandbox desktop;
    WorkingFolder home("tessaly_screenshots");
    std::filesystem::create_directories(home.path + "/cfg");
    setenv("MIRAVEL_HOME", home.path.c_str(), 1);
    // A download client beside the window, so the start-up check finds the ".nzb"
    // association it registers (in the temporary desktop folders) and shows no warning.
    writeFile(home.file("corvane"), "#!/bin/sh\n");
    chmod(home.file("corvane").c_str(), 0755);
    EngineWebServers servers(home.path, home.path);
    if (!servers.started()) return 1;

    QApplication app(argc, argv);
    CDlgMain main;
    QWidget* window = main.Create(nullptr, CDlgMain::TEMPLATE_ID);
    if (!window) return 1;
    window->resize(1100, 420);
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return 1;

    CDlgResult& results = main.resultPanel();
    auto* list = qobject_cast<QTableView*>(results.item(CDlgResult::IDC_LIST));
    auto* keyword = qobject_cast<QComboBox*>(main.searchPanel().item(CDlgSearch::IDC_KEYWORD));
    auto* search = qobject_cast<QPushButton*>(main.searchPanel().item(CDlgSearch::IDC_SEARCH));
    if (!list || !keyword || !keyword->lineEdit() || !search) return 1;

    QTest::keyClicks(keyword->lineEdit(), "e");
    QTest::mouseClick(search, Qt::LeftButton);
    if (!processEventsUntil([&] { return list->model()->rowCount() > 3; })) return 1;

    // Largest first: the first click sorts by size ascending, the second descending.
    QHeaderView* header = list->horizontalHeader();
    const int size = columnNamed(list->model(), "size");
    for (int click = 0; click < 2 && size >= 0; ++click) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(size) + 10, header->height() / 2));
        settle(results);
    }

    if (size >= 0) {
        const QPoint at(header->sectionViewportPosition(size) + 10, header->height() / 2);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, header->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &menu);
        if (auto* editor = qobject_cast<QLineEdit*>(results.item(CDlgResult::IDC_FILTER)))
            QTest::keyClicks(editor, ">1");
        settle(results);
    }
    const int subject = columnNamed(list->model(), "subject");
    for (int row = 0; row < list->model()->rowCount(); ++row)
        if (list->model()->index(row, subject).data().toString().startsWith("Big Buck Bunny"))
            list->selectRow(row);
    bool saved = save(window, output + "/search-window-filter.png");
    list->setFocus();
    processEventsUntil([&] { return results.filterColumn() < 0; });
    saved = save(window, output + "/search-window.png") && saved;
    return saved ? 0 : 1;
}
