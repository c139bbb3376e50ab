// The main window opened through the library's entries, on the offscreen platform: this
// thread's QApplication is the UI thread, each test works in a fresh program folder with
// a real config.ini, and the window runs against a real download model over a real
// database or, where the engine's work is beside the point, a model that only keeps its
// switches and records the commands it gets. Imports go to a recorder script that the
// messengers start as real child processes.
#include "NNTPmodel.h"
#include "ProcessEventsUntil.h"
#include "SqlRows.h"
#include "TestFolders.h"
#include "WaitUntil.h"
#include "WidgetWatcher.h"
#include "YencPostWriter.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "cWndMain.h"
#include "childProcess.h"
#include "glimmerpane.h"
#include "mainCommands.h"
#include "messenger.h"
#include "profile.h"
#include "sqliteDB.h"
#include "windowFunctions.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The first argument that makes this program a host without Qt of its own.
const char kWithoutQtMode[] = "--host-without-qt";

const char* const kLayout = "USERINTERFACE";

struct twindowRect {
    int32_t left, top, right, bottom;
};

void* asData(int value) {
    return (void*)(intptr_t)value;
}

// A queue and a decoder that only hold their switches.
class SwitchQueue : public NNTPmodel_iface {
  public:
    int qenabled() override { return running; }
    int qprioOn() override { return priority; }
    std::atomic<int> running{1};
    std::atomic<int> priority{0};
};

class SwitchDecoder : public NNTPmodel_iface {
  public:
    int denabled() override { return running; }
    int dstate() override { return running; }
    std::atomic<int> running{1};
};

// The model as far as the window's life is concerned: its commands are recorded with
// whether they arrived on the UI thread.
class SwitchModel : public NNTPmodel_iface {
  public:
    NNTPmodel_iface* getqueue() override { return &queue; }
    NNTPmodel_iface* getdecoder() override { return &decoder; }
    void handleCommandT(unsigned cmd, void*, void*) override {
        std::lock_guard<std::mutex> guard(lock);
        commands.push_back({cmd, std::this_thread::get_id() == uiThread});
    }

    int count(unsigned cmd) {
        std::lock_guard<std::mutex> guard(lock);
        int n = 0;
        for (const auto& command : commands)
            n += command.first == cmd;
        return n;
    }
    bool anyOnUiThread() {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& command : commands)
            if (command.second) return true;
        return false;
    }

    SwitchQueue queue;
    SwitchDecoder decoder;

  private:
    std::mutex lock;
    std::vector<std::pair<unsigned, bool>> commands;
    const std::thread::id uiThread = std::this_thread::get_id();
};

// The main window objects of the windows that exist, shown or hidden.
std::vector<cWndMain*> mainWindows() {
    std::vector<cWndMain*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* main = dynamic_cast<cWndMain*>(cWnd::userData(widget))) found.push_back(main);
    return found;
}

cWndMain* mainWindow() {
    std::vector<cWndMain*> found = mainWindows();
    return found.empty() ? nullptr : found.front();
}

cWndMain* shownMainWindow() {
    cWndMain* main = mainWindow();
    return main && main->handle()->isVisible() ? main : nullptr;
}

QAction* button(cWndMain* main, int command) {
    for (QAction* action : main->toolbar()->actions())
        if (commandId(action) == command) return action;
    return nullptr;
}

bool checked(cWndMain* main, int command) {
    QAction* action = button(main, command);
    return action && action->isChecked();
}

void click(cWndMain* main, int command) {
    auto* tool =
        qobject_cast<QToolButton*>(main->toolbar()->widgetForAction(button(main, command)));
    ASSERT_NE(tool, nullptr) << command;
    tool->click();
}

// Press and release of the right button at `point` of the list's rows area.
void rightClick(cListView* list, QPoint point) {
    const QPoint global = list->viewport()->mapToGlobal(point);
    QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QApplication::sendEvent(list->viewport(), &release);
}

// Runs everything queued on the UI thread before this call.
void settle() {
    bool done = false;
    QMetaObject::invokeMethod(
        qApp, [&] { done = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(processEventsUntil([&] { return done; }));
}

WidgetWatcher modalWatcher(std::function<void(QWidget*)> handle) {
    return {[] { return QApplication::activeModalWidget(); }, std::move(handle)};
}

// terminate() called on a thread of the client's, as the running program calls it.
class ClientTerminate {
  public:
    ~ClientTerminate() {
        if (caller.joinable()) caller.join();
    }
    void start() {
        caller = std::thread([this] {
            terminate(nullptr);
            returned = true;
        });
    }
    // Whether terminate has returned with the window gone.
    bool finished() {
        return processEventsUntil([this] { return returned && mainWindow() == nullptr; });
    }

  private:
    std::thread caller;
    std::atomic<bool> returned{false};
};

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        fs::create_directory("data");
        profile::writeInt("DEFAULT", "showabout", 0, CONFIG_INI);
        profile::writeInt("DEFAULT", "autoclose", 0, CONFIG_INI);
        writeFile(recorder,
                  "#!/bin/sh\nprintf '%s|' \"$@\" >> '" + calls + "'\necho >> '" + calls + "'\n");
        fs::permissions(recorder, fs::perms::owner_all);
        setMessengerProgram(recorder);
    }

    void TearDown() override {
        terminate(nullptr);
        EXPECT_TRUE(processEventsUntil([] { return mainWindow() == nullptr; }));
        waitForMessengers();
    }

    cWndMain* open(NNTPmodel_iface* model) {
        EXPECT_EQ(initialize(model), 1);
        cWndMain* main = nullptr;
        EXPECT_TRUE(processEventsUntil([&] { return (main = shownMainWindow()) != nullptr; }));
        return main;
    }

    static void closeAndWait(cWndMain* main) {
        main->handle()->close();
        ASSERT_TRUE(processEventsUntil([] { return mainWindow() == nullptr; }));
    }

    static void terminateFromAnotherThread() {
        ClientTerminate call;
        call.start();
        EXPECT_TRUE(call.finished());
    }

    // As the desktop minimizes a window. The platform reports the new state back later;
    // that report is taken before the test goes on.
    static void minimize(QWidget* window) {
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
        settle();
        ASSERT_TRUE(window->isHidden());
    }

    static int ini(const char* section, const char* key) {
        return profile::getInt(section, key, -1, CONFIG_INI);
    }

    WorkingFolder folder{"mainwindow_test"};
    const std::string recorder = folder.file("corvane-recorder");
    const std::string calls = folder.file("calls.log");
    SwitchModel switches;
};

TEST_F(MainWindow, FirstStartIsCentredWithTheDefaultPanes) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    QWidget* window = main->handle();
    EXPECT_EQ(window->windowTitle(), "Brindle");
    EXPECT_EQ(window->size(), QSize(800, 500));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.topLeft(),
              QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2));
    EXPECT_EQ(main->postPane().handle()->size(), QSize(150, 290));
    // The file pane beside the posts, the servers below both.
    EXPECT_EQ(main->filePane().handle()->height(), 290);
    EXPECT_GT(main->clientPane().handle()->mapTo(window, QPoint(0, 0)).y(),
              main->postPane().handle()->mapTo(window, QPoint(0, 290)).y());

    // The toolbar in its order, with the tooltips of the string table.
    std::vector<int> commands;
    for (QAction* action : main->toolbar()->actions())
        commands.push_back(action->isSeparator() ? 0 : commandId(action));
    EXPECT_EQ(commands,
              (std::vector<int>{IDM_EXIT, 0, IDM_CONFIG, IDM_HISTORY, IDM_ABOUT, 0, IDM_QUEUE,
                                IDM_PRIORITY, IDM_DECODER, 0, IDM_IMPORT, IDM_CLEARTEMP}));
    EXPECT_EQ(button(main, IDM_QUEUE)->toolTip(),
              "Enable/ Disable the Queue, for pausing the downoads");
}

TEST_F(MainWindow, TheLayoutSavedOnExitAndOnCloseOpensTheNextWindow) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    main->handle()->setGeometry(60, 40, 900, 620);
    cWnd::sendMessage(main->outerSplitter().handle(), WM_NOTIFY_TRACKBAR, 0, makeParam(0, 200));
    cWnd::sendMessage(main->innerSplitter().handle(), WM_NOTIFY_TRACKBAR, 0, makeParam(230, 0));
    ASSERT_EQ(main->postPane().handle()->size(), QSize(230, 200));
    QAction* exit = nullptr;
    for (QAction* entry : main->handle()->findChildren<QAction*>())
        if (entry->text() == "E&xit") exit = entry;
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    ASSERT_TRUE(processEventsUntil([] { return mainWindow() == nullptr; }));

    twindowRect saved{};
    ASSERT_TRUE(profile::getStruct(kLayout, "wndpos", &saved, sizeof saved, CONFIG_INI));
    EXPECT_EQ(saved.left, 60);
    EXPECT_EQ(saved.top, 40);
    EXPECT_EQ(saved.right, 960);
    EXPECT_EQ(saved.bottom, 660);
    EXPECT_EQ(ini(kLayout, "vpane"), 200);
    EXPECT_EQ(ini(kLayout, "hpane"), 230);

    main = open(&switches);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->handle()->geometry(), QRect(60, 40, 900, 620));
    EXPECT_EQ(main->postPane().handle()->size(), QSize(230, 200));

    // The close box saves as Exit does.
    main->handle()->setGeometry(30, 20, 700, 450);
    cWnd::sendMessage(main->innerSplitter().handle(), WM_NOTIFY_TRACKBAR, 0, makeParam(180, 0));
    closeAndWait(main);
    main = open(&switches);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->handle()->geometry(), QRect(30, 20, 700, 450));
    EXPECT_EQ(main->postPane().handle()->width(), 180);
}

TEST_F(MainWindow, AMaximizedOrMinimizedWindowSavesItsNormalRectangle) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    main->handle()->setGeometry(50, 60, 700, 400);
    main->handle()->setWindowState(Qt::WindowMaximized);
    settle();
    ASSERT_NE(main->handle()->geometry(), QRect(50, 60, 700, 400));
    sendCommand(main->handle(), IDM_EXIT);
    ASSERT_TRUE(processEventsUntil([] { return mainWindow() == nullptr; }));
    twindowRect saved{};
    ASSERT_TRUE(profile::getStruct(kLayout, "wndpos", &saved, sizeof saved, CONFIG_INI));
    EXPECT_EQ(QRect(QPoint(saved.left, saved.top), QPoint(saved.right - 1, saved.bottom - 1)),
              QRect(50, 60, 700, 400));

    main = open(&switches);
    ASSERT_NE(main, nullptr);
    main->handle()->setGeometry(40, 30, 600, 420);
    minimize(main->handle());
    terminateFromAnotherThread();
    ASSERT_TRUE(profile::getStruct(kLayout, "wndpos", &saved, sizeof saved, CONFIG_INI));
    EXPECT_EQ(QRect(QPoint(saved.left, saved.top), QPoint(saved.right - 1, saved.bottom - 1)),
              QRect(40, 30, 600, 420));
}

// Closed maximized, the window opens at its normal size with the panes as they were
// there; a server pane dragged taller than the normal window holds still leaves the
// posts and files room.
TEST_F(MainWindow, AWindowClosedMaximizedOpensWithEveryPaneVisible) {
    for (int serversAtMaximized : {0, 2000}) {
        SCOPED_TRACE(serversAtMaximized);
        cWndMain* main = open(&switches);
        ASSERT_NE(main, nullptr);
        main->handle()->setGeometry(50, 60, 700, 400);
        settle();
        const QSize posts = main->postPane().handle()->size();
        const int servers = main->clientPane().handle()->height();
        main->handle()->setWindowState(Qt::WindowMaximized);
        settle();
        ASSERT_GT(main->postPane().handle()->height(), posts.height());
        if (serversAtMaximized)
            cWnd::sendMessage(main->outerSplitter().handle(), WM_NOTIFY_TRACKBAR, 0,
                              makeParam(0, 20));
        sendCommand(main->handle(), IDM_EXIT);
        ASSERT_TRUE(processEventsUntil([] { return mainWindow() == nullptr; }));

        main = open(&switches);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(main->handle()->geometry(), QRect(50, 60, 700, 400));
        const int upper = main->postPane().handle()->height();
        const int lower = main->clientPane().handle()->height();
        if (!serversAtMaximized) {
            EXPECT_EQ(main->postPane().handle()->size(), posts);
            EXPECT_EQ(lower, servers);
        }
        EXPECT_GE(upper, 40);
        EXPECT_GE(lower, 40);
        EXPECT_EQ(upper + SPLITTER_BAR + lower, main->outerSplitter().handle()->height());
        EXPECT_GT(main->filePane().handle()->width(), 0);
        closeAndWait(main);
    }
}

TEST_F(MainWindow, ResetDatabaseAndConfigurationReachTheModelOnlyWhenConfirmed) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    std::function<void(QWidget*)> answer;
    WidgetWatcher dialogs = modalWatcher([&](QWidget* dialog) { answer(dialog); });
    auto run = [&](int command, std::function<void(QWidget*)> reply) {
        answer = std::move(reply);
        int before = dialogs.seen();
        sendCommand(main->handle(), command);
        EXPECT_EQ(dialogs.seen(), before + 1) << command;
    };
    auto pressOnQuestion = [](QMessageBox::StandardButton which) {
        return [which](QWidget* dialog) {
            auto* question = qobject_cast<QMessageBox*>(dialog);
            ASSERT_NE(question, nullptr);
            EXPECT_EQ(question->windowTitle(), "Reset Database");
            EXPECT_EQ(question->text(),
                      "Do you really want to reset the database... ?\n\nAll data will be lost");
            EXPECT_EQ(question->icon(), QMessageBox::Warning);
            question->button(which)->click();
        };
    };
    auto pressOnConfig = [](int id) {
        return [id](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Configuration");
            qobject_cast<QAbstractButton*>(GetDlgItem(dialog, id))->click();
        };
    };
    run(IDM_RESETDB, pressOnQuestion(QMessageBox::No));
    run(IDM_CONFIG, pressOnConfig(IDCANCEL));
    run(IDM_RESETDB, pressOnQuestion(QMessageBox::Yes));
    run(IDM_CONFIG, pressOnConfig(IDOK));
    EXPECT_TRUE(processEventsUntil(
        [&] { return switches.count(cmdResetDB) == 1 && switches.count(cmdConfigChanged) == 1; }));

    // The question still open when the program ends the window is no Yes.
    ClientTerminate call;
    answer = [&](QWidget*) { call.start(); };
    cWnd::postMessage(main->handle(), WM_COMMAND, makeCommand(0, IDM_RESETDB), 0);
    EXPECT_TRUE(call.finished());
    _observable::sendCommand(&switches, cmdReload, asData(1), nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return switches.count(cmdReload) == 1; }));
    EXPECT_EQ(switches.count(cmdResetDB), 1);
    EXPECT_EQ(switches.count(cmdConfigChanged), 1);
    EXPECT_FALSE(switches.anyOnUiThread());
}

TEST_F(MainWindow, TheAboutDialogOpensByItselfOnlyOnce) {
    profile::writeInt("DEFAULT", "showabout", 1, CONFIG_INI);
    QString title;
    int showaboutWhileOpen = -1;
    WidgetWatcher about = modalWatcher([&](QWidget* dialog) {
        title = dialog->windowTitle();
        showaboutWhileOpen = ini("DEFAULT", "showabout");
        qobject_cast<QAbstractButton*>(GetDlgItem(dialog, IDOK))->click();
    });
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return about.seen() == 1; }));
    EXPECT_EQ(title, "About Brindle");
    EXPECT_EQ(showaboutWhileOpen, 0);
    closeAndWait(main);

    main = open(&switches);
    ASSERT_NE(main, nullptr);
    // Whatever the opening posted has run once this has.
    settle();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(about.seen(), 1);
    EXPECT_EQ(ini("DEFAULT", "showabout"), 0);
}

TEST_F(MainWindow, TheToolbarStartsFromTheEngineState) {
    switches.queue.running = 0;
    switches.queue.priority = 1;
    switches.decoder.running = 0;
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(checked(main, IDM_QUEUE));
    EXPECT_TRUE(checked(main, IDM_PRIORITY));
    EXPECT_FALSE(checked(main, IDM_DECODER));
}

TEST_F(MainWindow, ClosingEndsTheModelOnACommandThreadOnlyWithAutoclose) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    closeAndWait(main);
    // A command sent after the close arrives; a terminate sent by the close would have
    // been started before it.
    _observable::sendCommand(&switches, cmdReload, asData(1), nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return switches.count(cmdReload) == 1; }));
    EXPECT_EQ(switches.count(cmdTerminate), 0);

    profile::writeInt("DEFAULT", "autoclose", 1, CONFIG_INI);
    main = open(&switches);
    ASSERT_NE(main, nullptr);
    sendCommand(main->handle(), IDM_EXIT);
    EXPECT_TRUE(processEventsUntil([&] { return switches.count(cmdTerminate) == 1; }));
    EXPECT_FALSE(switches.anyOnUiThread());

    // The host's terminate: the host is ending the model itself.
    ASSERT_NE(open(&switches), nullptr);
    terminateFromAnotherThread();
    _observable::sendCommand(&switches, cmdReload, asData(1), nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return switches.count(cmdReload) == 2; }));
    EXPECT_EQ(switches.count(cmdTerminate), 1);
}

TEST_F(MainWindow, TerminateFromAnotherThreadClosesAndALaterInitializeOpensAgain) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    terminateFromAnotherThread();

    // The client calls initialize from its own thread too.
    std::thread([&] { EXPECT_EQ(initialize(&switches), 1); }).join();
    ASSERT_TRUE(processEventsUntil([&] { return (main = shownMainWindow()) != nullptr; }));

    // Also with a modal dialog running its own loop inside the window's command.
    ASSERT_NE(main, nullptr);
    ClientTerminate call;
    WidgetWatcher config = modalWatcher([&](QWidget*) { call.start(); });
    cWnd::postMessage(main->handle(), WM_COMMAND, makeCommand(0, IDM_CONFIG), 0);
    EXPECT_TRUE(call.finished());
    ASSERT_EQ(config.seen(), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // And while the window is minimized, which hides it.
    main = open(&switches);
    ASSERT_NE(main, nullptr);
    minimize(main->handle());
    terminateFromAnotherThread();
    EXPECT_EQ(switches.count(cmdTerminate), 0);
}

TEST_F(MainWindow, TerminateWhileAContextMenuIsOpenClosesBoth) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    ClientTerminate call;
    WidgetWatcher menu([] { return QApplication::activePopupWidget(); },
                       [&](QWidget*) { call.start(); });
    rightClick(main->postPane().listView(), QPoint(20, 20));
    EXPECT_TRUE(call.finished());
    ASSERT_EQ(menu.seen(), 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(MainWindow, MinimizingHidesAndInitializeBringsTheSameWindowBackInPlace) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    main->handle()->setGeometry(70, 50, 640, 480);
    QWidget* window = main->handle();
    minimize(window);
    EXPECT_EQ(shownMainWindow(), nullptr);

    EXPECT_EQ(initialize(&switches), 1);
    EXPECT_EQ(initialize(&switches), 1);
    ASSERT_TRUE(processEventsUntil([&] { return window->isVisible(); }));
    settle();
    EXPECT_EQ(mainWindows().size(), 1u);
    EXPECT_EQ(mainWindow(), main);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(window->geometry(), QRect(70, 50, 640, 480));
}

// A real model over the folder's database, without servers. The window is closed
// before the model ends.
class RealModel : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        ASSERT_EQ(createSchemaFile(), 0);
    }
    void TearDown() override {
        MainWindow::TearDown();
        model.terminate();
    }

    NNTPmodel model;
};

TEST_F(RealModel, ToolbarChecksFollowTheEngineAndTheStatusBarShowsTheSpeed) {
    model.initialize(-1);
    ASSERT_TRUE(processEventsUntil([&] { return model.getdecoder()->dstate() == 1; }));
    cWndMain* main = open(&model);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(checked(main, IDM_QUEUE));
    EXPECT_FALSE(checked(main, IDM_PRIORITY));
    EXPECT_TRUE(checked(main, IDM_DECODER));

    // Changes made on engine threads.
    std::thread([&] { model.handleCommandT(cmdQueueEnable, asData(0), nullptr); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return !checked(main, IDM_QUEUE); }));
    std::thread([&] { model.handleCommandT(cmdQueuePrio, asData(1), nullptr); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return checked(main, IDM_PRIORITY); }));
    std::thread([&] { model.handleCommandT(cmdDecoderEnable, asData(0), nullptr); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return !checked(main, IDM_DECODER); }));
    std::thread([&] { model.getqueue()->notify(updSpeed, asData(42)); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return main->statusText(0) == "~42 KB/s"; }));

    // The queue's buttons wait for the engine's word; the decoder's answers at once.
    click(main, IDM_QUEUE);
    EXPECT_FALSE(checked(main, IDM_QUEUE));
    EXPECT_TRUE(processEventsUntil([&] { return checked(main, IDM_QUEUE); }));
    EXPECT_EQ(model.getqueue()->qenabled(), 1);
    click(main, IDM_PRIORITY);
    EXPECT_TRUE(checked(main, IDM_PRIORITY));
    EXPECT_TRUE(processEventsUntil([&] { return !checked(main, IDM_PRIORITY); }));
    EXPECT_EQ(model.getqueue()->qprioOn(), 0);
    click(main, IDM_DECODER);
    EXPECT_TRUE(checked(main, IDM_DECODER));
    ASSERT_TRUE(processEventsUntil([&] { return model.getdecoder()->dstate() == 1; }));
    settle();
    EXPECT_TRUE(checked(main, IDM_DECODER));
    click(main, IDM_DECODER);
    EXPECT_FALSE(checked(main, IDM_DECODER));
    ASSERT_TRUE(processEventsUntil([&] { return model.getdecoder()->denabled() == 0; }));
    settle();
    EXPECT_FALSE(checked(main, IDM_DECODER));
}

TEST_F(MainWindow, TheResponsivenessProbeWritesTheLatenessOfItsTicksWhenTheWindowCloses) {
    const std::string report = folder.file("probe.txt");
    setenv("CORVANE_UI_PROBE", report.c_str(), 1);
    cWndMain* main = open(&switches);
    unsetenv("CORVANE_UI_PROBE");
    ASSERT_NE(main, nullptr);
    // Several of the probe's 10 ms ticks pass while this waits.
    int ticks = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] { ++ticks; });
    pace.start(50);
    ASSERT_TRUE(processEventsUntil([&] { return ticks >= 3; }));
    EXPECT_FALSE(fs::exists(report));
    closeAndWait(main);

    std::istringstream lines(readFile(report));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        size_t used = 0;
        double lateness = std::stod(line, &used);
        EXPECT_EQ(used, line.size()) << line;
        EXPECT_GE(lateness, -10.0) << line;
    }
    EXPECT_GT(count, 0);
}

TEST_F(MainWindow, DroppedFilesAreImportedOneByOneThenReloadedOnce) {
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    const std::vector<std::string> files = {
        folder.file("first.nzb"), folder.file("second post.nzb"), folder.file("third.nzb")};
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& file : files) {
        writeFile(file, "<nzb/>");
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file)));
    }
    data.setUrls(urls);
    // Dropped onto the file list, as a user would; the window takes them.
    QWidget* target = main->filePane().listView()->viewport();
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    waitForMessengers();
    EXPECT_EQ(readFile(calls),
              "l|" + files[0] + "|\nl|" + files[1] + "|\nl|" + files[2] + "|\nr|\n");
}

// The running instance refused an import (its messenger ends with EX_DATAERR and the
// reason as its last line): the window says so in a box.
TEST_F(MainWindow, ARefusedImportIsShownInAMessageBox) {
    const std::string refuser = folder.file("refuser.sh");
    writeFile(refuser, "#!/bin/sh\necho 'send: 0, l'\n[ \"$1\" = l ] || exit 0\n"
                       "echo \"nzb: no files in $2\" >&2\n"
                       "printf 'exitcode: 65  [press any key to exit] '\nexit 65\n");
    fs::permissions(refuser, fs::perms::owner_all);
    setMessengerProgram(refuser);
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);
    QString title;
    QString text;
    WidgetWatcher box = modalWatcher([&](QWidget* modal) {
        auto* message = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(message, nullptr);
        title = message->windowTitle();
        text = message->text();
        message->accept();
    });
    const std::string nzb = folder.file("notes.nzb.gz");
    std::vector<std::string> dropped{nzb};
    main->on_WM_DROPFILES(main->handle(), reinterpret_cast<uintptr_t>(&dropped), 0);
    ASSERT_TRUE(processEventsUntil([&] { return box.seen() == 1; }));
    EXPECT_EQ(title, "Import");
    EXPECT_EQ(text.toStdString(), "nzb: no files in " + nzb);
    waitForMessengers();
}

TEST_F(MainWindow, ImportRunsTheFileThenAReloadAndOpensInTheLastFolderNextTime) {
    fs::create_directory("nzbs");
    const std::string nzb = folder.file("nzbs/my post.nzb");
    writeFile(nzb, "<nzb/>");
    cWndMain* main = open(&switches);
    ASSERT_NE(main, nullptr);

    QString shownFolder;
    std::function<void(QFileDialog*)> answer = [&](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString(nzb));
        static_cast<QDialog*>(dialog)->accept(); // the Open button
    };
    WidgetWatcher fileDialog = modalWatcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        answer(dialog);
    });
    click(main, IDM_IMPORT);
    ASSERT_EQ(fileDialog.seen(), 1);
    waitForMessengers();
    EXPECT_EQ(readFile(calls), "l|" + nzb + "|\nr|\n");
    EXPECT_EQ(profile::getString("DEFAULT", "lastopen", "", CONFIG_INI), folder.file("nzbs"));

    // The next dialog opens there; cancelling it starts nothing.
    answer = [](QFileDialog* dialog) { dialog->reject(); };
    click(main, IDM_IMPORT);
    ASSERT_EQ(fileDialog.seen(), 2);
    EXPECT_EQ(shownFolder.toStdString(), folder.file("nzbs"));
    waitForMessengers();
    EXPECT_EQ(readFile(calls), "l|" + nzb + "|\nr|\n");
}

// A real model holding one imported post of three files, queued at the default
// priority.
class PriorityTest : public RealModel {
  protected:
    void SetUp() override {
        RealModel::SetUp();
        fs::create_directory("spool");
        for (const char* name : {"one.bin", "two.bin", "three.bin"})
            writeFile(name, name);
        PostOptions options;
        options.spool = "spool";
        options.nzb = "post.nzb";
        makePost({"one.bin", "two.bin", "three.bin"}, options);
        model.initialize(-1);
        ASSERT_EQ(model.addnzb("./post.nzb"), 0);
        model.handleCommandT(cmdReload, asData(1), nullptr);
    }

    // Priority by file id, from the database.
    static std::map<int, int> priorities() {
        sqliteDB db;
        EXPECT_EQ(db.open("./data/articles.db"), 0);
        SqlRows rows;
        {
            std::lock_guard<sqliteDB> guard(db);
            db.exec("SELECT queuFID, queuPrio FROM queu", collectSqlRow, &rows);
        }
        std::map<int, int> byFile;
        for (const auto& row : rows)
            byFile[std::stoi(row[0])] = std::stoi(row[1]);
        return byFile;
    }
};

TEST_F(PriorityTest, ThePostMenuSetsAllFilesAndDigitKeysTheSelectedOne) {
    ASSERT_EQ(priorities().size(), 3u);
    for (auto [file, priority] : priorities())
        EXPECT_EQ(priority, 7) << file;
    cWndMain* main = open(&model);
    ASSERT_NE(main, nullptr);
    cListView* posts = main->postPane().listView();
    ASSERT_EQ(posts->itemCount(), 1);

    // A right click on the post shows its files and the menu; "0 highest" is chosen.
    WidgetWatcher menu([] { return QApplication::activePopupWidget(); },
                       [](QWidget* popup) {
                           for (QAction* entry : popup->findChildren<QAction*>())
                               if (entry->text() == "0 highest") entry->trigger();
                           popup->close();
                       });
    rightClick(posts, posts->visualRect(posts->model()->index(0, 0)).center());
    ASSERT_EQ(menu.seen(), 1);
    const std::vector<int> files = main->filePane().fileIds();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(priorities(), (std::map<int, int>{{files[0], 0}, {files[1], 0}, {files[2], 0}}));

    // Digits act on the selected file only.
    cListView* list = main->filePane().listView();
    std::map<int, int> expected = priorities();
    for (int digit = 0; digit <= 9; ++digit) {
        int row = (digit + 1) % 3;
        list->selectRow(row);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + digit, Qt::NoModifier, QString::number(digit));
        QApplication::sendEvent(list, &key);
        expected[files[row]] = digit;
        EXPECT_EQ(priorities(), expected) << digit;
    }
}

// The host below in a child process of its own, since a process has one QApplication.
TEST_F(MainWindow, AHostWithoutQtGetsTheWindowOnAUiThreadOfTheLibrary) {
    profile::writeInt("DEFAULT", "autoclose", 1, CONFIG_INI);
    tchildRun host = runChild({"/proc/self/exe", kWithoutQtMode});
    EXPECT_EQ(host.exitCode, 0) << host.output;
    EXPECT_NE(host.output.find("start: Corvane Gui"), std::string::npos) << host.output;
    EXPECT_NE(host.output.find("term:  Corvane Gui"), std::string::npos) << host.output;
}

// Runs `call` on the UI thread and waits for it.
void onUiThread(const std::function<void()>& call) {
    QMetaObject::invokeMethod(qApp, call, Qt::BlockingQueuedConnection);
}

bool windowExists() {
    bool exists = false;
    onUiThread([&] { exists = mainWindow() != nullptr; });
    return exists;
}

// A program without a QApplication opens the window twice: the user closes the first,
// which ends the model ("autoclose" is 1), and the program's terminate the second. The
// exit code names the first step that failed.
int hostWithoutQt() {
    SwitchModel model;
    if (initialize(&model) != 1) return 1;
    if (!qApp || qApp->thread() == QThread::currentThread()) return 2;
    if (!waitUntil([] { return windowExists(); })) return 3;
    onUiThread([] { mainWindow()->handle()->close(); });
    if (!waitUntil([&] { return model.count(cmdTerminate) == 1; })) return 4;
    if (initialize(&model) != 1) return 5;
    if (!waitUntil([] { return windowExists(); })) return 6;
    terminate(nullptr);
    if (windowExists()) return 7;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kWithoutQtMode) return hostWithoutQt();
    // Offscreen, on a screen larger than the window, so that centring moves it on both
    // axes (the platform's default screen is smaller than the window's frame).
    TempFolder screen("mainwindow_screen");
    const std::string config = screen.file("screen.json");
    writeFile(config, R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1280,
                          "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    const char* platform = getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) == "offscreen")
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
