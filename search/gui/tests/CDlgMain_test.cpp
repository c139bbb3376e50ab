// The main window with its real panels, the real coordinator and results database in a
// fresh program folder, and the test web server on loopback standing in for binsearch
// and the update host. Opening with the desktop is recorded instead of run.
#include "CDlgAbout.h"
#include "CDlgMain.h"
#include "CDlgResult.h"
#include "CDlgSearch.h"
#include "NzbAssociationCheck.h"
#include "PanelHome.h"
#include "ResultTableModel.h"
#include "TestWebServerProcess.h"

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" int runloop(int argc, char** argv, char** envp);

namespace {

const std::string FIXTURES = CORV_SOURCE_DIR "/tests/fixtures/web";
const char* const IDS[] = {"1706213370", "1706213371", "1706213372"};

size_t count(const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++found;
    return found;
}

// The bodies of the POST requests in a request log, in order.
std::vector<std::string> postBodies(const std::string& log) {
    std::vector<std::string> bodies;
    for (size_t at = log.find("POST "); at != std::string::npos; at = log.find("POST ", at + 1)) {
        const size_t body = log.find("\r\n\r\n", at);
        const size_t next = log.find("POST ", at + 1);
        if (body != std::string::npos) bodies.push_back(log.substr(body + 4, next - body - 4));
    }
    return bodies;
}

// Runs `command` (which opens a modal dialog) and hands the dialog to `inspect` once it
// is up; `inspect` must end it. Should it not, the dialog is closed after a while so the
// test fails instead of hanging.
void withModal(const std::function<void()>& command, const std::function<void(QWidget*)>& inspect) {
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) inspect(modal);
    });
    QTimer::singleShot(20000, &guard, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    command();
}

// Starts the launcher as it is installed, reads its standard output until `line` shows
// or 30 s have passed, then ends it. True when the line showed.
bool launcherPrints(const std::string& line) {
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    char program[] = CORV_BIN_DIR "/miravel";
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    QElapsedTimer clock;
    clock.start();
    while (!failed && text.find(line) == std::string::npos && clock.elapsed() < 30000) {
        pollfd ready{out[0], POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    if (!failed) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return text.find(line) != std::string::npos;
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(home.path.empty());
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        // The association check reads and writes only inside the test's folder.
        for (const char* variable :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
            const std::string folder = home.path + "/" + variable;
            std::filesystem::create_directories(folder);
            setenv(variable, folder.c_str(), 1);
        }
        writeEngines("127.0.0.1:1");
    }
    void TearDown() override {
        main.reset();
        for (const char* variable : {"MIRAVEL_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                     "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
            unsetenv(variable);
    }

    // Every engine points at loopback; the ones not served find a closed port.
    void writeEngines(const std::string& binsearchHost) {
        writeFile(home.file("cfg/engines.ini"), "[binsearch]\nhost=" + binsearchHost +
                                                    "\n[nzbindex]\nhost=127.0.0.1:1\n"
                                                    "[yabsearch]\nhost=127.0.0.1:1\n");
    }
    void startServer(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {
            "--root", FIXTURES,     "--routes",   FIXTURES + "/binsearch/routes.txt",
            "--log",  requestLog(), "--lifetime", "120"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        server = std::make_unique<TestWebServerProcess>(arguments);
        ASSERT_GT(server->port(), 0);
        writeEngines(server->hostPort());
    }
    std::string requestLog() const { return home.file("requests.log"); }

    void openWindow() {
        main = std::make_unique<CDlgMain>();
        main->setOpener([this](const std::string& target) { opened.push_back(target); });
        ASSERT_NE(main->Create(nullptr, CDlgMain::TEMPLATE_ID), nullptr);
        main->handle()->show();
    }
    intptr_t command(int id, int code = BN_CLICKED, intptr_t lparam = 0) {
        return CWnd::sendCommand(main->handle(), id, code, lparam);
    }
    QComboBox* box(int id) { return qobject_cast<QComboBox*>(main->searchPanel().item(id)); }
    std::string filter(const char* name) {
        char text[CDlgResult::FILTER_CHARS + 1] = {};
        main->resultPanel().GetFilter(name, text);
        return text;
    }
    QTableView* list() {
        return qobject_cast<QTableView*>(main->resultPanel().item(CDlgResult::IDC_LIST));
    }

    SearchHome home;
    std::unique_ptr<TestWebServerProcess> server;
    std::unique_ptr<CDlgMain> main;
    std::vector<std::string> opened;
};

TEST_F(MainWindow, CarriesTheMenuTitleAndStatusBar) {
    openWindow();
    struct Entry {
        const char* text;
        int id;
    };
    // Menu by menu: File, Edit List, Results, Help.
    const std::vector<Entry> expected = {{"Open NZB folder", 32776},
                                         {"Delete nzb files", 32777},
                                         {"Delete temp files", 32778},
                                         {"Reset Database", 32779},
                                         {"E&xit\tAlt+X", 32775},
                                         {"Refresh lists (after editing)", 32788},
                                         {"Edit Keyword", 32789},
                                         {"edit Newsroup", 32790},
                                         {"edit Age", 32791},
                                         {"edit Size", 32792},
                                         {"edit Watchlist (cached filter)", 32793},
                                         {"Download selected", 32781},
                                         {"Download selected - combine files\tCtrl+D", 32782},
                                         {"History", 32773},
                                         {"Contact", 32774},
                                         {"A&bout ...\tAlt+/", 32772}};
    std::vector<std::string> titles;
    std::vector<std::pair<std::string, int>> found;
    for (QAction* title : main->handle()->findChild<QMenuBar*>()->actions()) {
        titles.push_back(title->text().toStdString());
        for (QAction* action : title->menu()->actions())
            if (!action->isSeparator())
                found.emplace_back(action->text().toStdString(), action->data().toInt());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Edit List", "&Results", "&Help"}));
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i].first, expected[i].text);
        EXPECT_EQ(found[i].second, expected[i].id) << expected[i].text;
    }
    EXPECT_EQ(main->handle()->windowTitle(), "Miravel v0.3.2");
    EXPECT_NE(qobject_cast<QStatusBar*>(main->item(CDlgMain::IDC_STATUSBAR)), nullptr);
    EXPECT_EQ(command(CDlgMain::IDA_UNHANDLED), 1); // Ctrl+M: nothing handles it
    EXPECT_EQ(command(32778, CBN_DBLCLK), 1);       // codes other than 0, 1, 5
}

TEST_F(MainWindow, LaysOutThePanelsBelowTheMenu) {
    openWindow();
    main->handle()->resize(700, 500);
    QApplication::processEvents();
    const int top = main->handle()->findChild<QMenuBar*>()->geometry().bottom() + 1;
    const QRect search = main->searchPanel().handle()->geometry();
    const QRect results = main->resultPanel().handle()->geometry();
    EXPECT_EQ(search, QRect(0, top, 700, CDlgMain::SEARCH_HEIGHT));
    EXPECT_EQ(results.width(), 700);
    EXPECT_EQ(results.height(), 500 - top - CDlgMain::RESULT_HEIGHT_LESS);
    EXPECT_GT(results.top(), search.bottom());
    const QRect bar = main->item(CDlgMain::IDC_STATUSBAR)->geometry();
    EXPECT_EQ(bar.bottom(), 499);
    EXPECT_GT(bar.top(), results.bottom());
}

TEST_F(MainWindow, WritesMissingListFilesAndKeepsExistingOnes) {
    writeFile(home.file("cfg/age.txt"), "<3\n");
    testing::internal::CaptureStdout();
    openWindow();
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("CDlgMain::OnCmdInitDialog exit \n"), std::string::npos);

    EXPECT_EQ(readFile(home.file("cfg/newsgroup.txt")),
              " \r\nalt.binaries.boneless\r\nalt.binaries.movies\r\nalt.binaries.movies.divx\r\n"
              "alt.binaries.multimedia\r\nalt.binaries.tv\r\nalt.binaries.x\r\n");
    EXPECT_EQ(readFile(home.file("cfg/size.txt")),
              " \r\n>1\r\n>100\r\n>200 <600\r\n>200 <1000\r\n>300 <600\r\n>600 <2000\r\n"
              ">1000\r\n>2000\r\n");
    EXPECT_EQ(readFile(home.file("cfg/age.txt")), "<3\n");
    for (const char* empty : {"cfg/keyword.txt", "cfg/watchlist.txt"}) {
        EXPECT_TRUE(std::filesystem::exists(home.file(empty))) << empty;
        EXPECT_EQ(readFile(home.file(empty)), "");
    }
    EXPECT_EQ(box(CDlgSearch::IDC_AGE)->count(), 1);

    // A deleted list leaves its box empty on refresh, and comes back at the next start.
    std::filesystem::remove(home.file("cfg/size.txt"));
    command(CDlgMain::IDM_REFRESHLISTS);
    EXPECT_EQ(box(CDlgSearch::IDC_SIZE)->count(), 0);
    main.reset();
    openWindow();
    EXPECT_EQ(box(CDlgSearch::IDC_SIZE)->count(), 9);
}

TEST_F(MainWindow, DeleteCommandsRemoveOnlyTheirFiles) {
    openWindow();
    const std::vector<std::string> files = {"tmp/a.htm",  "tmp/b.txt", "tmp/c.sql", "tmp/d.nzb",
                                            "tmp/e.html", "nzb/f.nzb", "nzb/g.txt", "h.txt"};
    for (const std::string& file : files)
        writeFile(home.file(file), "x");
    command(CDlgMain::IDM_DELETETEMP);
    std::vector<std::string> left;
    for (const std::string& file : files)
        if (std::filesystem::exists(home.file(file))) left.push_back(file);
    EXPECT_EQ(left, (std::vector<std::string>{"tmp/c.sql", "tmp/d.nzb", "tmp/e.html", "nzb/f.nzb",
                                              "nzb/g.txt", "h.txt"}));
    command(CDlgMain::IDM_DELETENZB);
    EXPECT_FALSE(std::filesystem::exists(home.file("nzb/f.nzb")));
    EXPECT_TRUE(std::filesystem::exists(home.file("nzb/g.txt")));
    EXPECT_TRUE(std::filesystem::exists(home.file("tmp/d.nzb")));
}

TEST_F(MainWindow, SearchBoxesBecomeResultFilters) {
    openWindow();
    struct Case {
        int box;
        int code;
        const char* text;
        const char* filterName;
        const char* filter;
    };
    const Case cases[] = {
        {CDlgSearch::IDC_NEWSGROUP, CBN_EDITCHANGE, "alt.binaries.movies", "newsgroup",
         "a.b.movies"},
        {CDlgSearch::IDC_NEWSGROUP, CBN_EDITCHANGE, "alt.binaries.x alt.binaries.tv", "newsgroup",
         "a.b.x a.b.tv"},
        {CDlgSearch::IDC_NEWSGROUP, CBN_EDITCHANGE, "comp.os", "newsgroup", "comp.os"},
        {CDlgSearch::IDC_KEYWORD, CBN_EDITCHANGE, "ubuntu", "subject", "ubuntu"},
        {CDlgSearch::IDC_WATCHLIST, CBN_EDITCHANGE, "debian", "subject", "debian"},
        {CDlgSearch::IDC_AGE, CBN_EDITCHANGE, "<7", "age", "<7"},
        {CDlgSearch::IDC_SIZE, CBN_EDITCHANGE, ">200 <600", "size", ">200 <600"},
        {CDlgSearch::IDC_SIZE, CBN_DBLCLK, ">1", "size", ">200 <600"}, // not acted on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        box(c.box)->setEditText(c.text);
        command(c.box, c.code);
        EXPECT_EQ(filter(c.filterName), c.filter);
        EXPECT_TRUE(main->resultPanel().refreshRequested());
    }
}

TEST_F(MainWindow, APickedNewsgroupFiltersInTheShortForm) {
    openWindow();
    QComboBox* groups = box(CDlgSearch::IDC_NEWSGROUP);
    const int movies = groups->findText("alt.binaries.movies");
    ASSERT_GE(movies, 0);
    groups->setFocus();
    groups->setCurrentIndex(movies - 1);
    QTest::keyClick(groups, Qt::Key_Down); // a real pick, through the search panel
    EXPECT_EQ(filter("newsgroup"), "a.b.movies");

    QTest::keyClicks(box(CDlgSearch::IDC_KEYWORD)->lineEdit(), "ubu");
    EXPECT_EQ(filter("subject"), "ubu");
}

TEST_F(MainWindow, EngineTabsChooseTheEngineFilter) {
    openWindow();
    EXPECT_EQ(filter("engine"), "binsearch");
    auto* second =
        qobject_cast<QPushButton*>(main->searchPanel().item(CDlgSearch::IDC_FIRSTTAB + 1));
    ASSERT_NE(second, nullptr);
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_EQ(filter("engine"), "nzbindex");
}

TEST_F(MainWindow, EnterInTheKeywordBoxSearchesOnlyWithSomethingToSearch) {
    startServer();
    openWindow();
    QComboBox* keyword = box(CDlgSearch::IDC_KEYWORD);
    keyword->setFocus();
    QTest::keyClick(keyword, Qt::Key_Return); // keyword and newsgroup empty: ignored
    QTest::keyClicks(keyword->lineEdit(), "ubuntu");
    QTest::keyClick(keyword, Qt::Key_Return);
    // The fetcher serves requests in order, so an ignored search would show up first.
    ASSERT_TRUE(waitUntil([&] { return count(readFile(requestLog()), "GET ") >= 1; }));
    const std::string log = readFile(requestLog());
    EXPECT_EQ(log.rfind("GET /index.php?q=ubuntu", 0), 0u) << log;
    EXPECT_EQ(count(log, "GET "), 1u);
}

// The main window with the commands that reach it recorded instead of carried out.
class CommandRecorder : public CDlgMain {
  public:
    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override {
        if (recording && message == WM_COMMAND && hiWord(wparam) == BN_CLICKED) {
            commands.push_back(loWord(wparam));
            return 0;
        }
        return CDlgMain::WndProcCustom(window, message, wparam, lparam);
    }
    bool recording = false;
    std::vector<int> commands;
};

// The label after a menu entry's tab is the key that sends that entry's command: the
// window's accelerators, or the result list's keys with the list focused.
TEST_F(MainWindow, ShortcutLabelsInTheMenusNameTheKeysOfTheirCommands) {
    auto recorder = std::make_unique<CommandRecorder>();
    CommandRecorder* window = recorder.get();
    main = std::move(recorder);
    ASSERT_NE(main->Create(nullptr, CDlgMain::TEMPLATE_ID), nullptr);
    main->handle()->show();
    main->handle()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main->handle()));
    int labelled = 0;
    for (QAction* title : main->handle()->findChild<QMenuBar*>()->actions()) {
        for (QAction* action : title->menu()->actions()) {
            const QString label = action->text().section('\t', 1);
            if (label.isEmpty()) continue;
            SCOPED_TRACE(action->text().toStdString());
            ++labelled;
            list()->setFocus();
            window->commands.clear();
            window->recording = true;
            QTest::keySequence(list(), QKeySequence(label));
            window->recording = false;
            EXPECT_EQ(window->commands, std::vector<int>{action->data().toInt()});
        }
    }
    EXPECT_EQ(labelled, 3);
}

// Rows of two engines and the database's own placeholder row are stored; the first page
// shown is already the first tab's.
TEST_F(MainWindow, TheFirstEngineTabFiltersTheFirstPageShown) {
    CMiravelDB db;
    ASSERT_EQ(db.insertData(("BEGIN;\n" + resultRow("11", "first site", 700, 3) +
                             resultRow("12", "first site too", 1500, 3) +
                             resultRow("21", "second site", 700, 3, "nzbindex") + "COMMIT;\n")
                                .c_str()),
              0);
    openWindow();
    const tRecordData& page = main->resultPanel().shownPage();
    ASSERT_EQ(page.rows, 2);
    const int engine = columnIndex(page, "engine");
    for (int row = 0; row < page.rows; ++row)
        EXPECT_STREQ(page.cell(row, engine), "binsearch");
    // Sizes carry their unit and sort by their number.
    const int size = columnIndex(page, "size");
    main->resultPanel().OnCmdHdnClick(size);
    ASSERT_TRUE(waitUntil([&] {
        return main->resultPanel().shownPage().rows == 2 &&
               std::string(main->resultPanel().shownPage().cell(0, size)) == "700 MB";
    }));
    EXPECT_STREQ(main->resultPanel().shownPage().cell(1, size), "1.5 GB");
}

// Stored subjects carry a backquote where the site had an apostrophe.
TEST_F(MainWindow, AKeywordWithAnApostropheFindsTheStoredSubject) {
    CMiravelDB db;
    ASSERT_EQ(db.insertData(("BEGIN;\n" + resultRow("11", "Don`t Look Up", 700, 3) +
                             resultRow("12", "Dont Panic", 700, 3) + "COMMIT;\n")
                                .c_str()),
              0);
    openWindow();
    QTest::keyClicks(box(CDlgSearch::IDC_KEYWORD)->lineEdit(), "Don't");
    EXPECT_EQ(filter("subject"), "Don`t");
    ASSERT_TRUE(waitUntil([&] { return main->resultPanel().shownPage().rows == 1; }));
    const tRecordData& page = main->resultPanel().shownPage();
    EXPECT_STREQ(page.cell(0, columnIndex(page, "subject")), "Don`t Look Up");
}

// A filter typed in a header editor stays visible after the editor closes: the column's
// title is marked and the status bar lists every filter in force.
TEST_F(MainWindow, FilteredColumnsAreMarkedAndListedInTheStatusBar) {
    openWindow();
    CDlgResult& results = main->resultPanel();
    const int size = columnIndex(results.shownPage(), "size");
    const int subject = columnIndex(results.shownPage(), "subject");
    auto title = [&](int column) {
        return list()->model()->headerData(column, Qt::Horizontal).toString().toStdString();
    };
    auto filtersShown = [&] {
        for (QLabel* label : main->item(CDlgMain::IDC_STATUSBAR)->findChildren<QLabel*>())
            if (label->text().startsWith("Filtered by")) return label->text().toStdString();
        return std::string();
    };
    ASSERT_TRUE(waitUntil([&] { return filtersShown() == "Filtered by engine: binsearch"; }))
        << filtersShown();
    EXPECT_EQ(title(size), "size");

    const QRect header(0, 0, 60, 20);
    results.OnShowFilter(&header, size);
    auto* editor = qobject_cast<QLineEdit*>(results.item(CDlgResult::IDC_FILTER));
    QTest::keyClicks(editor, ">100");
    results.OnHideFilter();
    ASSERT_TRUE(waitUntil([&] {
        return filtersShown() == "Filtered by engine: binsearch, size: >100";
    })) << filtersShown();
    EXPECT_EQ(title(size), std::string("size") + ResultTableModel::FILTER_MARK);
    EXPECT_TRUE(
        list()->model()->headerData(size, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(title(subject), "subject");

    // A blank filter, as the lists' first entry sets, filters nothing and marks nothing.
    results.SetFilter("size", " ", true);
    ASSERT_TRUE(waitUntil([&] { return filtersShown() == "Filtered by engine: binsearch"; }));
    EXPECT_EQ(title(size), "size");
}

class Downloads : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        startServer();
        openWindow();
        std::string rows;
        for (const char* id : IDS)
            rows += resultRow(id, std::string("film part ") + id, 700, 3);
        CMiravelDB db;
        ASSERT_EQ(db.insertData(("BEGIN;\n" + rows + "COMMIT;\n").c_str()), 0);
        main->resultPanel().SetFilter("subject", "", true);
        ASSERT_TRUE(waitUntil([&] { return list()->model()->rowCount() == 3; }));
        box(CDlgSearch::IDC_KEYWORD)->setEditText("my film");
    }
};

// Separate and combined downloads of several results are followed end to end by the
// window's end-to-end test; here only what it does not cover.
TEST_F(Downloads, NothingSelectedRequestsNothingAndCtrlUCombines) {
    command(CDlgMain::IDM_DOWNLOAD);
    command(CDlgMain::IDM_DOWNLOADCOMBINED);
    list()->selectRow(1);
    command(CDlgMain::IDM_DOWNLOADKEY);
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 1; }));
    const std::vector<std::string> bodies = postBodies(readFile(requestLog()));
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(count(bodies[0], "=on"), 1u) << bodies[0];
    EXPECT_NE(bodies[0].find(std::string(IDS[1]) + "=on"), std::string::npos) << bodies[0];
    EXPECT_EQ(opened[0], "./nzb/my.film.nzb");
}

TEST_F(MainWindow, OpenCommandsNameTheirFolderOrList) {
    openWindow();
    const std::vector<std::pair<int, std::string>> cases = {
        {CDlgMain::IDM_OPENNZB, "./nzb"},
        {CDlgMain::IDM_EDITKEYWORD, "./cfg/keyword.txt"},
        {CDlgMain::IDM_EDITNEWSGROUP, "./cfg/newsgroup.txt"},
        {CDlgMain::IDM_EDITAGE, "./cfg/age.txt"},
        {CDlgMain::IDM_EDITSIZE, "./cfg/size.txt"},
        {CDlgMain::IDM_EDITWATCHLIST, "./cfg/watchlist.txt"}};
    for (const auto& [id, target] : cases) {
        opened.clear();
        EXPECT_EQ(command(id), 0);
        EXPECT_EQ(opened, std::vector<std::string>{target});
    }
    opened.clear();
    main->OnIdmOpen("./nzb", "a b%20c.nzb");
    main->OnIdmOpen("http://127.0.0.1/page?x=%20&name=%s", "q");
    main->OnIdmOpen("", "x");
    EXPECT_EQ(opened, (std::vector<std::string>{"./nzb/a b%20c.nzb",
                                                "http://127.0.0.1/page?x=%20&name=q"}));
}

TEST_F(MainWindow, ObserverCallsFromAnotherThreadReachTheWindowThread) {
    openWindow();
    box(CDlgSearch::IDC_KEYWORD)->setEditText("again");
    std::thread fetcher([this] {
        main->handleDataChanged();
        main->handleOpenResponse("./nzb/arrived.nzb");
        main->handleUpdateAvailable("./tmp/history.txt");
    });
    fetcher.join();
    ASSERT_TRUE(waitUntil([&] { return !opened.empty(); }));
    ASSERT_TRUE(waitUntil([&] { return main->searchPanel().updateAvailable() == 1; }));
    EXPECT_EQ(opened, std::vector<std::string>{"./nzb/arrived.nzb"});
    EXPECT_EQ(filter("subject"), "again");
}

TEST_F(MainWindow, WithoutAddressesNothingIsOpenedAskedOrDrawnAsLink) {
    startServer({"--route", "GET /update.php?* -> README.md type=text/plain"});
    openWindow();
    command(CDlgMain::IDM_HISTORY);
    command(CDlgMain::IDM_CONTACT);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(main->webAddresses().updateUrl(), "");

    bool inspected = false;
    withModal(
        [&] { command(CDlgMain::IDM_ABOUT); },
        [&](QWidget* about) {
            inspected = true;
            EXPECT_EQ(about->windowTitle(), "About Miravel");
            EXPECT_EQ(CWnd::textOf(CWnd::item(about, CDlgAbout::IDC_VERSION)), "0.3.2");
            for (int id : {CDlgAbout::IDC_HOMEPAGE, CDlgAbout::IDC_CONTACT, CDlgAbout::IDC_HOWTO}) {
                auto* link = qobject_cast<QLabel*>(CWnd::item(about, id));
                ASSERT_NE(link, nullptr);
                EXPECT_FALSE(link->text().contains("href"));
                EXPECT_FALSE(link->textInteractionFlags() & Qt::LinksAccessibleByMouse);
            }
            QTest::mouseClick(qobject_cast<QPushButton*>(CWnd::item(about, IDOK)), Qt::LeftButton);
        });
    EXPECT_TRUE(inspected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(opened.empty());

    // The update host was never asked: the first request the server sees is this search.
    main->coordinator().search("binsearch", "probe", "");
    ASSERT_TRUE(waitUntil([&] { return count(readFile(requestLog()), "GET ") >= 1; }));
    EXPECT_EQ(readFile(requestLog()).rfind("GET /index.php?q=probe", 0), 0u);
    EXPECT_EQ(main->searchPanel().updateAvailable(), 0);
}

TEST_F(MainWindow, ConfiguredAddressesAreOpenedAndTheUpdateHostAsked) {
    startServer({"--route", "GET /update.php?* -> README.md type=text/plain"});
    writeFile(home.file("cfg/miravel.ini"),
              "[web]\nhomepage=http://127.0.0.1/miravel\ncontact=http://127.0.0.1/contact\n"
              "howto=http://127.0.0.1/howto?a=1&b=2\nupdatehost=" +
                  server->hostPort() + "\n");
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return main->searchPanel().updateAvailable() == 1; }));
    EXPECT_EQ(readFile(requestLog()).rfind("GET /update.php?file=Miravel&version=3002 ", 0), 0u);

    command(CDlgMain::IDM_HISTORY); // no history page: the program page
    command(CDlgMain::IDM_CONTACT);
    withModal([&] { command(CDlgMain::IDM_ABOUT); },
              [&](QWidget* about) {
                  for (int id : {CDlgAbout::IDC_HOMEPAGE, CDlgAbout::IDC_HOWTO}) {
                      auto* link = qobject_cast<QLabel*>(CWnd::item(about, id));
                      ASSERT_NE(link, nullptr);
                      EXPECT_TRUE(link->textInteractionFlags() & Qt::LinksAccessibleByMouse);
                      emit link->linkActivated("ignored");
                  }
                  QTest::keyClick(about, Qt::Key_Escape);
              });
    EXPECT_EQ(opened, (std::vector<std::string>{
                          "http://127.0.0.1/miravel", "http://127.0.0.1/contact",
                          "http://127.0.0.1/miravel", "http://127.0.0.1/howto?a=1&b=2"}));
}

// Quitting while the update host has not answered: the fetcher is stopped mid-request
// and nothing it might still report reaches the window that is going away.
TEST_F(MainWindow, ClosingWhileTheUpdateHostIsSilent) {
    startServer({"--route", "GET /update.php?* -> README.md silent"});
    writeFile(home.file("cfg/miravel.ini"), "[web]\nupdatehost=" + server->hostPort() + "\n");
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return count(readFile(requestLog()), "GET /update.php") == 1; }));
    main.reset();
    QApplication::processEvents();
    EXPECT_TRUE(opened.empty());
}

TEST_F(MainWindow, AnUpdateHostThatIsNoHostIsNotAsked) {
    for (const char* host : {"127.0.0.1/evil", "https://127.0.0.1/evil", "ftp://127.0.0.1", "a b",
                             "x@y", "https://"}) {
        writeFile(home.file("cfg/miravel.ini"), std::string("[web]\nupdatehost=") + host + "\n");
        EXPECT_EQ(WebAddresses::load(WebAddresses::CONFIG_FILE).updateUrl(), "") << host;
    }
    writeFile(home.file("cfg/miravel.ini"), "[web]\nupdatehost=[::1]:8080\n");
    EXPECT_EQ(WebAddresses::load().updateUrl(),
              "http://[::1]:8080/update.php?file=Miravel&version=3002");
    writeFile(home.file("cfg/miravel.ini"), "[web]\nupdatehost=HTTPS://updates.example.org\n");
    EXPECT_EQ(WebAddresses::load().updateUrl(),
              "https://updates.example.org/update.php?file=Miravel&version=3002");
}

TEST_F(MainWindow, WarnsInTheStatusBarWhenNzbFilesHaveNoOpener) {
    openWindow();
    EXPECT_EQ(main->getText(CDlgMain::IDC_STATUSBAR), kNzbNotRegistered);
}

TEST_F(MainWindow, TheLauncherLoadsTheLibraryAndOpensTheWindow) {
    EXPECT_TRUE(launcherPrints("CDlgMain::OnCmdInitDialog exit \n"));
}

TEST_F(MainWindow, RunloopReturnsZeroOnExitAndOnTheCloseBox) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox);
        bool found = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && top->windowTitle() == "Miravel v0.3.2") {
                    found = true;
                    if (closeBox)
                        top->close();
                    else
                        CWnd::sendCommand(top, CDlgMain::IDM_EXIT);
                }
        });
        char name[] = "miravel";
        char* argv[] = {name, nullptr};
        EXPECT_EQ(runloop(1, argv, nullptr), 0);
        EXPECT_TRUE(found);
    }
}

} // namespace
