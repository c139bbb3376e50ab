#include "CDlgMain.h"

#include "CDlgAbout.h"
#include "CDlgResult.h"
#include "CDlgSearch.h"
#include "CMiravel.h"
#include "DesktopOpener.h"
#include "NzbAssociationCheck.h"
#include "programFolder.h"
#include "textmarkup.h"

#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char TITLE[] = "Miravel v0.3.2";
const char LIST_FILE[] = "./cfg/%s.txt";
const char RESULT_VIEW[] = "results";
const char HISTORY_FILE[] = "./tmp/history.txt";
constexpr int TEXT_LIMIT = 255;
constexpr int FILTER_SIZE = 64;
constexpr int RESULT_TOP = 50;

const char* const NEWSGROUPS[] = {" ",
                                  "alt.binaries.boneless",
                                  "alt.binaries.movies",
                                  "alt.binaries.movies.divx",
                                  "alt.binaries.multimedia",
                                  "alt.binaries.tv",
                                  "alt.binaries.x",
                                  nullptr};
const char* const AGES[] = {" ", "<7", "<14", "<30", "<60", "<100", "<120", nullptr};
const char* const SIZES[] = {" ",         ">1",         ">100",  ">200 <600", ">200 <1000",
                             ">300 <600", ">600 <2000", ">1000", ">2000",     nullptr};
const char* const NO_ENTRIES[] = {nullptr};

struct MenuEntry {
    const char* text; // null: a separator
    int id;
    const char* shortcutLabel;
};

const MenuEntry FILE_MENU[] = {{"Open NZB folder", CDlgMain::IDM_OPENNZB, nullptr},
                               {nullptr, 0, nullptr},
                               {"Delete nzb files", CDlgMain::IDM_DELETENZB, nullptr},
                               {"Delete temp files", CDlgMain::IDM_DELETETEMP, nullptr},
                               {"Reset Database", CDlgMain::IDM_RESETDB, nullptr},
                               {nullptr, 0, nullptr},
                               {"E&xit", CDlgMain::IDM_EXIT, "Alt+X"}};
const MenuEntry LIST_MENU[] = {
    {"Refresh lists (after editing)", CDlgMain::IDM_REFRESHLISTS, nullptr},
    {nullptr, 0, nullptr},
    {"Edit Keyword", CDlgMain::IDM_EDITKEYWORD, nullptr},
    {"edit Newsroup", CDlgMain::IDM_EDITNEWSGROUP, nullptr},
    {"edit Age", CDlgMain::IDM_EDITAGE, nullptr},
    {"edit Size", CDlgMain::IDM_EDITSIZE, nullptr},
    {"edit Watchlist (cached filter)", CDlgMain::IDM_EDITWATCHLIST, nullptr}};
// The shortcut labels name the keys that send these very commands: Ctrl+D in the list
// combines the files, and About is on Alt+/.
const MenuEntry RESULT_MENU[] = {
    {"Download selected", CDlgMain::IDM_DOWNLOAD, nullptr},
    {"Download selected - combine files", CDlgMain::IDM_DOWNLOADCOMBINED, "Ctrl+D"}};
const MenuEntry HELP_MENU[] = {{"History", CDlgMain::IDM_HISTORY, nullptr},
                               {"Contact", CDlgMain::IDM_CONTACT, nullptr},
                               {"A&bout ...", CDlgMain::IDM_ABOUT, "Alt+/"}};

template <size_t N>
void addMenu(QMenuBar* bar, QWidget* target, const char* title, const MenuEntry (&entries)[N]) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(title));
    for (const MenuEntry& entry : entries) {
        if (entry.text)
            CWnd::addCommand(menu, target, entry.text, entry.id, entry.shortcutLabel);
        else
            menu->addSeparator();
    }
}

// The list file each edit command opens.
const char* listOfCommand(int id) {
    switch (id) {
    case CDlgMain::IDM_EDITKEYWORD:
        return "keyword";
    case CDlgMain::IDM_EDITNEWSGROUP:
        return "newsgroup";
    case CDlgMain::IDM_EDITAGE:
        return "age";
    case CDlgMain::IDM_EDITSIZE:
        return "size";
    case CDlgMain::IDM_EDITWATCHLIST:
        return "watchlist";
    default:
        return nullptr;
    }
}

std::string listFileName(const char* list) {
    char name[300];
    snprintf(name, sizeof name, LIST_FILE, list);
    return name;
}

} // namespace

CDlgMain::CDlgMain()
    : relay(std::make_unique<QObject>()), miravel(std::make_unique<CMiravel>(nullptr, this)),
      result(std::make_unique<CDlgResult>(*miravel, RESULT_VIEW)),
      search(std::make_unique<CDlgSearch>(*miravel)), web(WebAddresses::load()),
      open(openWithDesktop) {
    if (!web.homepage.empty()) search->setUpdateOpener([this] { openAddress(web.homepage); });
}

CDlgMain::~CDlgMain() {
    delete statusBar.data();
}

void CDlgMain::setOpener(std::function<void(const std::string&)> opener) {
    open = std::move(opener);
}

void CDlgMain::buildTemplate(QWidget* dialog, int) {
    dialog->setWindowTitle(TITLE);
    dialog->resize(900, 600);
    menuBar = new QMenuBar(dialog);
    addMenu(menuBar, dialog, "&File", FILE_MENU);
    addMenu(menuBar, dialog, "&Edit List", LIST_MENU);
    addMenu(menuBar, dialog, "&Results", RESULT_MENU);
    addMenu(menuBar, dialog, "&Help", HELP_MENU);
    addAccelerator(dialog, QKeySequence(Qt::ALT | Qt::Key_Slash), IDM_ABOUT);
    addAccelerator(dialog, QKeySequence(Qt::ALT | Qt::Key_X), IDM_EXIT);
    addAccelerator(dialog, QKeySequence(Qt::CTRL | Qt::Key_M), IDA_UNHANDLED);
}

intptr_t CDlgMain::WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                                 intptr_t lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnCmdInitDialog(window);
    case WM_SIZE:
        OnCmdSize(wparam, loWord(static_cast<uintptr_t>(lparam)),
                  hiWord(static_cast<uintptr_t>(lparam)));
        return 0;
    case WM_CLOSE:
        OnCmdClose();
        return 1;
    case WM_COMMAND:
        return OnCmdCommand(wparam, lparam);
    default:
        return 0;
    }
}

intptr_t CDlgMain::OnCmdInitDialog(QWidget* window) {
    CreateList("newsgroup", NEWSGROUPS, false);
    CreateList("age", AGES, false);
    CreateList("size", SIZES, false);
    CreateList("keyword", NO_ENTRIES, false);
    CreateList("watchlist", NO_ENTRIES, false);
    if (!window->parentWidget()) {
        statusBar = new QStatusBar(window);
        statusBar->addWidget(new QLabel(statusBar), 1);
        // The filters in force, also those set in a header editor that has closed.
        auto* filters = new QLabel(statusBar);
        statusBar->addPermanentWidget(filters);
        result->onPageShown([this, filters = QPointer<QLabel>(filters)] {
            if (filters) filters->setText(result->activeFilters());
        });
        bindControl(statusBar, IDC_STATUSBAR);
        statusBar->show();
    }
    search->Create(window, CDlgSearch::TEMPLATE_ID);
    // Before the results panel is made, so its first page is the first tab's.
    SetFilter("engine", IDC_ENGINETAB, false, false);
    result->Create(window, CDlgResult::TEMPLATE_ID);
    window->resize(window->width() - 1, window->height());
    OnCmdSize(SIZE_RESTORED, window->width(), window->height());
    printf("CDlgMain::OnCmdInitDialog exit \n");
    fflush(stdout);
    if (statusBar) {
        // The download client is installed beside the search tool's launcher.
        const std::string warning = checkNzbAssociation(programFolder() + "/corvane");
        if (!warning.empty()) setText(IDC_STATUSBAR, warning.c_str());
    }
    sendCommand(window, IDM_UPDATECHECK, BN_CLICKED);
    return 1;
}

// The client area lies below the menu bar; the status bar keeps to its bottom.
void CDlgMain::OnCmdSize(uintptr_t kind, int width, int height) {
    if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
    const int top = menuBar ? menuBar->sizeHint().height() : 0;
    if (menuBar) menuBar->setGeometry(0, 0, width, top);
    const int client = height - top;
    if (statusBar) {
        const int barHeight = statusBar->sizeHint().height();
        statusBar->setGeometry(0, height - barHeight, width, barHeight);
    }
    if (QWidget* panel = search->handle()) panel->setGeometry(0, top, width, SEARCH_HEIGHT);
    if (QWidget* panel = result->handle())
        panel->setGeometry(0, top + RESULT_TOP, width, std::max(0, client - RESULT_HEIGHT_LESS));
}

void CDlgMain::OnCmdClose() {
    postQuitMessage(0);
}

intptr_t CDlgMain::OnCmdCommand(uintptr_t wparam, intptr_t lparam) {
    const int code = hiWord(wparam);
    const int id = loWord(wparam);
    if (code != BN_CLICKED && code != CBN_SELCHANGE && code != CBN_EDITCHANGE) return 1;
    const bool picked = code == CBN_SELCHANGE;
    switch (id) {
    case IDOK:
    case 10:
    case 65535:
    case CDlgSearch::IDC_SEARCH:
        OnIdmSearch();
        break;
    case CDlgSearch::IDC_KEYWORD:
    case CDlgSearch::IDC_WATCHLIST:
        SetFilter("subject", id, picked, true);
        break;
    case CDlgSearch::IDC_AGE:
        SetFilter("age", id, picked, true);
        break;
    case CDlgSearch::IDC_SIZE:
        SetFilter("size", id, picked, true);
        break;
    case CDlgSearch::IDC_NEWSGROUP:
        SetFilter("newsgroup", id, picked, true);
        break;
    case IDC_ENGINETAB:
        SetFilter("engine", loWord(static_cast<uintptr_t>(lparam)), false, true);
        break;
    case IDM_ABOUT: {
        CDlgAbout about(web, [this](const std::string& address) { openAddress(address); });
        about.Create(handle(), CDlgAbout::TEMPLATE_ID);
        break;
    }
    case IDM_HISTORY:
        openAddress(web.historyPage());
        break;
    case IDM_CONTACT:
        openAddress(web.contact);
        break;
    case IDM_EXIT:
        OnCmdClose();
        break;
    case IDM_OPENNZB:
        OnIdmOpen("./nzb");
        break;
    case IDM_DELETENZB:
        miravel->clearFolder("./nzb", ".nzb");
        break;
    case IDM_DELETETEMP:
        miravel->clearFolder("./tmp", ".htm");
        miravel->clearFolder("./tmp", ".txt");
        break;
    case IDM_RESETDB:
        miravel->resetDatabase();
        break;
    case IDM_UPDATECHECK:
        OnIdmUpdateCheck();
        break;
    case IDM_DOWNLOAD:
        OnIdmDownld(0, true);
        break;
    case IDM_DOWNLOADCOMBINED:
        OnIdmDownld(0, false);
        break;
    case IDM_DOWNLOADKEY:
        OnIdmDownld(1, false);
        break;
    case IDM_RESULTKEY_I:
    case IDM_RESULTKEY_DEL:
    case IDM_RESULTKEY_SHIFTDEL:
        break;
    case IDM_UPDATEAGE:
        miravel->updateAge(true);
        break;
    case IDM_REFRESHLISTS:
        search->refreshlist();
        break;
    case IDM_EDITKEYWORD:
    case IDM_EDITNEWSGROUP:
    case IDM_EDITAGE:
    case IDM_EDITSIZE:
    case IDM_EDITWATCHLIST:
        OnIdmOpen(LIST_FILE, listOfCommand(id));
        break;
    default:
        return 1;
    }
    return 0;
}

void CDlgMain::CreateList(const char* list, const char* const* entries, bool overwrite) {
    const std::string name = listFileName(list);
    struct stat info {};
    if (!overwrite && stat(name.c_str(), &info) == 0) return;
    FILE* file = fopen(name.c_str(), "wb");
    if (!file) {
        printf("CDlgMain:: cannot write %s (%s) \n", name.c_str(), strerror(errno));
        return;
    }
    for (; *entries; ++entries)
        fprintf(file, "%s\r\n", *entries);
    if (fclose(file) != 0) printf("CDlgMain:: %s not written whole \n", name.c_str());
}

std::string CDlgMain::searchText(int id) const {
    std::string text = textOf(search->item(id));
    if (text.size() > TEXT_LIMIT) text.resize(TEXT_LIMIT);
    return text;
}

std::string CDlgMain::engineFilter() const {
    char engine[FILTER_SIZE] = {};
    result->GetFilter("engine", engine);
    return engine;
}

void CDlgMain::SetFilter(const char* name, int id, bool fromSelection, bool refresh) {
    if (!search || !result) return;
    QWidget* control = search->item(id);
    std::string text = fromSelection ? selectedTextOf(control) : textOf(control);
    if (text.size() > TEXT_LIMIT) text.resize(TEXT_LIMIT);
    char filter[TEXT_LIMIT + 1] = {};
    memcpy(filter, text.data(), text.size());
    // "a.b." is never longer than what it replaces, so the buffer holds the result.
    if (id == CDlgSearch::IDC_NEWSGROUP) replacetext(filter, "alt.binaries.", "a.b.");
    // Stored subjects carry a backquote where the site had an apostrophe.
    if (strcmp(name, "subject") == 0) tosql(filter);
    result->SetFilter(name, filter, refresh);
}

void CDlgMain::OnIdmSearch() {
    const std::string keyword = searchText(CDlgSearch::IDC_KEYWORD);
    const std::string group = searchText(CDlgSearch::IDC_NEWSGROUP);
    if (keyword.empty() && group.empty()) return;
    miravel->search(engineFilter().c_str(), keyword.c_str(), group.c_str());
}

void CDlgMain::OnIdmDownld(int, bool separate) {
    std::string ids = result->GetSelected(0, 0, 1, ";", 0);
    if (ids.empty()) return;
    const std::string keyword = searchText(CDlgSearch::IDC_KEYWORD);
    const std::string group = searchText(CDlgSearch::IDC_NEWSGROUP);
    const std::string engine = engineFilter();
    if (!separate) {
        miravel->download(engine.c_str(), keyword.c_str(), group.c_str(), ids.data(), ';');
        return;
    }
    size_t start = 0;
    while (start <= ids.size()) {
        size_t end = ids.find(';', start);
        if (end == std::string::npos) end = ids.size();
        std::string id = ids.substr(start, end - start);
        if (!id.empty())
            miravel->download(engine.c_str(), keyword.c_str(), group.c_str(), id.data(), ';');
        start = end + 1;
    }
}

void CDlgMain::OnIdmOpen(const char* target, const char* name) {
    if (!target || !*target) return;
    std::string item = target;
    if (name) {
        const size_t slot = item.find("%s");
        if (slot != std::string::npos)
            item.replace(slot, 2, name);
        else
            item += std::string("/") + name;
    }
    openAddress(item);
}

void CDlgMain::openAddress(const std::string& address) {
    if (!address.empty() && open) open(address);
}

void CDlgMain::OnIdmUpdateCheck() {
    const std::string url = web.updateUrl();
    if (url.empty()) return;
    miravel->httpRequest(HISTORY_FILE, nullptr, url.c_str(), nullptr, nullptr);
}

void CDlgMain::handleDataChanged() {
    QMetaObject::invokeMethod(
        relay.get(), [this] { SetFilter("subject", CDlgSearch::IDC_KEYWORD, false, true); },
        Qt::QueuedConnection);
}

void CDlgMain::handleOpenResponse(const char* path) {
    if (!path) return;
    QMetaObject::invokeMethod(
        relay.get(), [this, file = std::string(path)] { OnIdmOpen(file.c_str()); },
        Qt::QueuedConnection);
}

void CDlgMain::handleEngineNotice(const char* text) {
    if (!text) return;
    QMetaObject::invokeMethod(
        relay.get(), [this, line = std::string(text)] { setText(IDC_STATUSBAR, line.c_str()); },
        Qt::QueuedConnection);
}

// Queued like the others: the fetcher may still report while the window is being torn
// down, after the search panel is gone but before the coordinator has stopped it.
void CDlgMain::handleUpdateAvailable(const char*) {
    QMetaObject::invokeMethod(
        relay.get(), [this] { search->setUpdateAvailable(1); }, Qt::QueuedConnection);
}
