#include "cWndMain.h"

#include "articleSchema.h"
#include "brindleIcons.h"
#include "contextMenus.h"
#include "dlgAbout.h"
#include "dlgNNTPCfg.h"
#include "mainCommands.h"
#include "messenger.h"
#include "profile.h"
#include "queueProgress.h"
#include "sizeText.h"
#include "windowFunctions.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

const char* const kLayout = "USERINTERFACE";
// The least height a pane is saved with when the window was closed maximized.
const int kLeastPane = 40;

// The window rectangle as kept in "wndpos".
struct twindowRect {
    int32_t left, top, right, bottom;
};

// Toolbar positions; 0 marks a separator.
const int kButtons[] = {IDM_EXIT,  0,           IDM_CONFIG,  IDM_HISTORY,
                        IDM_ABOUT, 0,           IDM_QUEUE,   IDM_PRIORITY,
                        IDM_DECODER, 0,         IDM_IMPORT,  IDM_CLEARTEMP};

void* asData(int value) {
    return (void*)(intptr_t)value;
}

unsigned lowBits(const void* pointer) {
    return (unsigned)(uintptr_t)pointer;
}

} // namespace

cWndMain::cWndMain() : changes([this](std::vector<std::pair<unsigned, int>>& batch) { apply(batch); }) {
    HandleManager();
}

cWndMain::~cWndMain() {
    setmodel(nullptr);
}

void cWndMain::HandleManager() {
    AddHandler(WM_CLOSE, &cWndMain::on_WM_CLOSE);
    AddHandler(WM_COMMAND, &cWndMain::on_WM_COMMAND);
    AddHandler(WM_SYSCOMMAND, &cWndMain::on_WM_SYSCOMMAND);
    AddHandler(WM_DROPFILES, &cWndMain::on_WM_DROPFILES);
}

int cWndMain::create(HWND parentWindow) {
    if (handle()) return 6;
    parent = parentWindow;
    auto* main = new QMainWindow(parentWindow);
    takeOver(main);
    main->setWindowTitle(loadString(128));
    main->setWindowIcon(brindleIcons::program());
    twindowRect saved{};
    bool placed = profile::getStruct(kLayout, "wndpos", &saved, sizeof saved, CONFIG_INI) &&
                  saved.right > saved.left && saved.bottom > saved.top;
    if (placed)
        main->setGeometry(saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top);
    else
        main->resize(800, 500);
    createMenu(main);
    createStatusBar(main);
    createToolBar(main);
    createPanes(main);
    if (!placed) {
        // The frame is part of what is centred, and the platform knows it only once the
        // window exists there.
        main->winId();
        centerWindow(main);
    }
    main->setAcceptDrops(true);
    return 0;
}

void cWndMain::createMenu(QMainWindow* main) {
    auto add = [main](QMenu* menu, const char* text, int id) {
        QAction* action = menu->addAction(text);
        setCommandId(action, id);
        QObject::connect(action, &QAction::triggered, [main, id] { sendCommand(main, id); });
    };
    QMenu* file = main->menuBar()->addMenu("&File");
    add(file, "Config", IDM_CONFIG);
    file->addSeparator();
    add(file, "Import", IDM_IMPORT);
    add(file, "Reset Database", IDM_RESETDB);
    file->addSeparator();
    add(file, "E&xit", IDM_EXIT);
    QMenu* help = main->menuBar()->addMenu("&Help");
    add(help, "&History (todo)", IDM_HISTORY);
    add(help, "&About ...", IDM_ABOUT);
}

// Three parts: speed, then two spare ones whose right edges are 100, 200 and the
// window's edge.
void cWndMain::createStatusBar(QMainWindow* main) {
    QStatusBar* statusBar = main->statusBar();
    statusBar->setSizeGripEnabled(true);
    for (int part = 0; part < 3; ++part) {
        statusParts[part] = new QLabel(statusBar);
        if (part < 2) statusParts[part]->setFixedWidth(100);
        statusBar->addWidget(statusParts[part], part < 2 ? 0 : 1);
    }
}

void cWndMain::createToolBar(QMainWindow* main) {
    toolBar = main->addToolBar("Toolbar");
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(24, 24));
    for (int position = 0; position < (int)std::size(kButtons); ++position) {
        int id = kButtons[position];
        if (!id) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = toolBar->addAction(brindleIcons::toolbar(position), loadString(id));
        action->setToolTip(loadString(id));
        setCommandId(action, id);
        // A check mark changes only when the engine reports the change.
        QObject::connect(action, &QAction::triggered, [main, action, id] {
            if (action->isCheckable()) action->setChecked(!action->isChecked());
            sendCommand(main, id);
        });
    }
}

void cWndMain::createPanes(QMainWindow* main) {
    int upper = profile::getInt(kLayout, "vpane", 290, CONFIG_INI);
    int left = profile::getInt(kLayout, "hpane", 150, CONFIG_INI);
    outer.create(main, 1, upper, 1);
    main->setCentralWidget(outer.handle());
    inner.create(outer.handle(), 0, left, 1);
    posts.createPane(inner.handle(), IDD_POSTS);
    files.createPane(inner.handle(), IDD_FILES);
    clients.createPane(outer.handle(), IDD_CLIENTS);
    inner.setPanes(posts.handle(), files.handle());
    outer.setPanes(inner.handle(), clients.handle());
}

void cWndMain::setmodel(NNTPmodel_iface* newModel) {
    if (newModel && !model) {
        printf("setmodel: 0x%X\n", lowBits(newModel));
        model = newModel;
        NNTPmodel_iface* queue = model->getqueue();
        NNTPmodel_iface* decoder = model->getdecoder();
        posts.setmodel(queue);
        files.setmodel(model);
        clients.setmodel(model);
        if (queue && queue->qenabled()) TBN_setchecked(toolBar, IDM_QUEUE, 1);
        if (queue && queue->qprioOn()) TBN_setchecked(toolBar, IDM_PRIORITY, 1);
        if (decoder && decoder->dstate()) TBN_setchecked(toolBar, IDM_DECODER, 1);
        if (queue) queue->attach(this);
        if (decoder) decoder->attach(this);
    } else if (!newModel && model) {
        if (NNTPmodel_iface* queue = model->getqueue()) queue->detach(this);
        if (NNTPmodel_iface* decoder = model->getdecoder()) decoder->detach(this);
        changes.discard();
        posts.setmodel(nullptr);
        files.setmodel(nullptr);
        clients.setmodel(nullptr);
        model = nullptr;
    }
}

void cWndMain::update(unsigned code, void* data) {
    switch (code) {
    case updQueueEnabled:
    case updQueuePrio:
    case updSpeed:
    case updDecoder:
        changes.push({code, (int)(intptr_t)data});
        break;
    default:
        break;
    }
}

void cWndMain::apply(std::vector<std::pair<unsigned, int>>& batch) {
    if (!handle()) return;
    // Only the batch's last speed is shown: the queue is walked once per batch.
    bool speedCame = false;
    int speed = 0;
    for (auto [code, value] : batch) {
        switch (code) {
        case updQueueEnabled:
            TBN_setchecked(toolBar, IDM_QUEUE, value);
            break;
        case updQueuePrio:
            TBN_setchecked(toolBar, IDM_PRIORITY, value);
            break;
        case updDecoder:
            TBN_setchecked(toolBar, IDM_DECODER, value);
            break;
        case updSpeed:
            speedCame = true;
            speed = value;
            break;
        default:
            break;
        }
    }
    if (speedCame) {
        statusParts[0]->setText(QString("~%1 KB/s").arg(speed));
        showRemaining(speed);
    }
}

// Beside the speed: the time the queued files still take at it, and their size.
void cWndMain::showRemaining(int kbPerSecond) {
    const long long remaining = model ? queueRemaining(model->getqueue()) : 0;
    statusParts[1]->setText(QString::fromStdString(timeLeftText(remaining, kbPerSecond)));
    statusParts[2]->setText(
        remaining > 0 ? QString::fromStdString(sizeText(remaining) + " to fetch") : QString());
}

void cWndMain::on_WM_CLOSE(HWND, uintptr_t, intptr_t) {
    exitWindow();
}

void cWndMain::on_WM_COMMAND(HWND, uintptr_t wParam, intptr_t lParam) {
    if (hiWord(wParam) != 0) return; // notifications of controls: nothing to do here
    command(loWord(wParam), lParam);
}

void cWndMain::command(int id, intptr_t lParam) {
    switch (id) {
    case IDM_EXIT:
        exitWindow();
        break;
    case IDM_ABOUT:
        showAboutDialog(handle());
        break;
    case IDM_CONFIG:
        if (showConfigDialog(handle()) == 1) sendToModel(cmdConfigChanged, 0);
        break;
    case IDM_IMPORT:
        importFile();
        break;
    case IDM_RESETDB:
        resetDatabase();
        break;
    case IDM_QUEUE:
        if (model && model->getqueue()) sendToModel(cmdQueueEnable, !model->getqueue()->qenabled());
        break;
    case IDM_DECODER:
        if (model && model->getdecoder()) {
            int on = !model->getdecoder()->denabled();
            sendToModel(cmdDecoderEnable, on);
            TBN_setchecked(toolBar, IDM_DECODER, on);
        }
        break;
    case IDM_PRIORITY:
        if (model && model->getqueue()) sendToModel(cmdQueuePrio, !model->getqueue()->qprioOn());
        break;
    case IDM_SHOWPOST:
        files.showPost((int)lParam);
        break;
    default:
        paneCommand(id);
        break;
    }
}

// The context menus' commands: the post popup acts on all files of the shown post (the
// right click has just shown and selected it) or on its folder, the file popup on the
// selected files.
void cWndMain::paneCommand(int id) {
    switch (id) {
    case IDM_POST_DELETE:
        posts.onKeyCommand(cmdPostRemove);
        return;
    case IDM_POST_CANCEL:
        files.onKeyCommand(cmdFileUnqueue, 0);
        return;
    case IDM_POST_QUEUE:
        files.onKeyCommand(cmdFileQueue, 0);
        return;
    case IDM_POST_DECODE:
        files.onKeyCommand(cmdFileDecode, 0);
        return;
    case IDM_POST_RETRY:
        files.onKeyCommand(cmdFileRetry, 0);
        return;
    case IDM_POST_OPENFOLDER:
        posts.openFolder();
        return;
    case IDM_FILE_CANCEL:
        files.onKeyCommand(cmdFileUnqueue, 1);
        return;
    case IDM_FILE_QUEUE:
        files.onKeyCommand(cmdFileQueue, 1);
        return;
    case IDM_FILE_DECODE:
        files.onKeyCommand(cmdFileDecode, 1);
        return;
    case IDM_FILE_RETRY:
        files.onKeyCommand(cmdFileRetry, 1);
        return;
    default:
        break;
    }
    if (id >= IDM_POST_PRIO0 && id <= IDM_POST_PRIO0 + 9)
        files.onKeyCommand(cmdFilePrio + (id - IDM_POST_PRIO0), 0);
    else if (id >= IDM_FILE_PRIO0 && id <= IDM_FILE_PRIO0 + 9)
        files.onKeyCommand(cmdFilePrio + (id - IDM_FILE_PRIO0), 1);
}

void cWndMain::sendToModel(unsigned cmd, int value) {
    if (model) _observable::sendCommand(model, cmd, asData(value), nullptr);
}

void cWndMain::importFile() {
    char folder[1024] = {};
    profile::getString("DEFAULT", "lastopen", "", folder, sizeof folder, CONFIG_INI);
    QString path = QFileDialog::getOpenFileName(handle(), "Import", folder,
                                                "NZB files (*.nzb *.NZB *.nzb.gz *.NZB.GZ)");
    if (path.isEmpty()) return;
    std::string file = path.toStdString();
    printf("open: %s\n", file.c_str());
    runMessengers({{{"l", file}, 0, showRefusal}, {{"r"}}});
    std::string lastOpen = file.substr(0, file.find_last_of('/'));
    profile::writeString("DEFAULT", "lastopen", lastOpen.c_str(), CONFIG_INI);
}

// Called on the messengers' thread: the box opens on the window's thread.
void cWndMain::showRefusal(const std::string& why) {
    QString text = QString::fromUtf8(why.c_str());
    QMetaObject::invokeMethod(
        qApp, [text] { QMessageBox::warning(nullptr, "Import", text); }, Qt::QueuedConnection);
}

void cWndMain::on_WM_DROPFILES(HWND, uintptr_t wParam, intptr_t) {
    const auto* dropped = reinterpret_cast<const std::vector<std::string>*>(wParam);
    std::vector<tmessengerRun> runs;
    for (const std::string& file : *dropped) {
        printf("drop file: %s\n", file.c_str());
        runs.push_back({{"l", file}, 100, showRefusal});
    }
    runs.push_back({{"r"}});
    runMessengers(std::move(runs));
}

void cWndMain::resetDatabase() {
    auto answer = QMessageBox::warning(
        handle(), "Reset Database", "Do you really want to reset the database... ?\n\nAll data will be lost",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) sendToModel(cmdResetDB, 0);
}

// Minimizing hides the window completely; the tray's "Show.." or a new start of the
// program brings it back.
void cWndMain::on_WM_SYSCOMMAND(HWND hwnd, uintptr_t wParam, intptr_t) {
    if (wParam == SC_MINIMIZE) hwnd->hide();
}

// The panes are saved as they are at the normal size: a maximized window's upper area
// would otherwise leave the server pane no room in the normal window of the next start.
void cWndMain::saveUIstate() {
    QWidget* main = handle();
    const bool resized = main->isMaximized() || main->isMinimized() || main->isFullScreen();
    QRect normal = resized ? main->normalGeometry() : main->geometry();
    if (normal.isEmpty()) normal = main->geometry();
    twindowRect rect{normal.left(), normal.top(), normal.left() + normal.width(),
                     normal.top() + normal.height()};
    profile::writeStruct(kLayout, "wndpos", &rect, sizeof rect, CONFIG_INI);
    QWidget* pane = posts.handle();
    if (!pane) return;
    int upper = pane->height();
    int left = pane->width();
    if (resized && !main->isMinimized()) {
        // The splitters' own rules at the normal size: the server pane keeps its height
        // and the post pane its width; a server pane taller than the normal window can
        // hold leaves the panes above some room all the same.
        const int lostHeight = main->height() - normal.height();
        const int outerHeight = outer.handle()->height() - lostHeight;
        upper = std::clamp(upper - lostHeight, kLeastPane,
                           std::max(kLeastPane, outerHeight - SPLITTER_BAR - kLeastPane));
        const int innerWidth = inner.handle()->width() - (main->width() - normal.width());
        if (innerWidth < left) left = innerWidth - SPLITTER_BAR;
    }
    profile::writeInt(kLayout, "vpane", std::max(1, upper), CONFIG_INI);
    profile::writeInt(kLayout, "hpane", std::max(1, left), CONFIG_INI);
}

void cWndMain::exitWindow() {
    if (!handle()) return;
    saveUIstate();
    destroyWindow();
    if (destroyed) destroyed();
}

QString cWndMain::statusText(int part) const {
    return part >= 0 && part < 3 && statusParts[part] ? statusParts[part]->text() : QString();
}
