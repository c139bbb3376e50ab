#include "dlgNNTPCfg.h"
#include "articleSchema.h"
#include "listView.h"
#include "profile.h"
#include "splitList.h"
#include "windowFunctions.h"

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <string>

namespace {

constexpr int MAX_SERVER_CONNECTIONS = 16;
constexpr int HIGHEST_PORT = 65534;

} // namespace

dlgNNTPCfg::dlgNNTPCfg() : cModalDialog(TEMPLATE_ID, "Configuration") {
    AddHandler(WM_INITDIALOG, &dlgNNTPCfg::on_WM_INITDIALOG);
    AddHandler(WM_COMMAND, &dlgNNTPCfg::on_WM_COMMAND);
}

void dlgNNTPCfg::buildControls(QDialog* dialog) {
    auto* layout = new QVBoxLayout(dialog);

    auto* general = new QGroupBox("General", dialog);
    auto* generalGrid = new QGridLayout(general);
    auto* folderLabel = new QLabel("Download folder:", general);
    auto* folder = new QLineEdit(general);
    setControlId(folder, IDC_DOWNLOADTO);
    folder->setMaxLength(sizeof config.downloadto - 1);
    folder->setMinimumWidth(260);
    folderLabel->setBuddy(folder);
    QPushButton* browse = addButton(general, IDC_BROWSE, "...");
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance("...") + 24);
    auto* minimized = new QCheckBox("Startup Minimized", general);
    setControlId(minimized, IDC_MINIMIZED);
    generalGrid->addWidget(folderLabel, 0, 0, 1, 2);
    generalGrid->addWidget(folder, 1, 0);
    generalGrid->addWidget(browse, 1, 1);
    generalGrid->addWidget(minimized, 2, 0, 1, 2);
    layout->addWidget(general);
    layout->addWidget(addAfterDownload(dialog));

    auto* servers = new QGroupBox("Servers", dialog);
    auto* serversRow = new QHBoxLayout(servers);
    auto* list = new cListView(servers, IDC_SERVERLIST, false, false);
    list->setMinimumSize(250, 140);
    serversRow->addWidget(list, 1);
    auto* serverButtons = new QVBoxLayout;
    serverButtons->addWidget(addButton(servers, IDC_EDIT, "Edit"));
    serverButtons->addWidget(addButton(servers, IDC_NEW, "New"));
    serverButtons->addWidget(addButton(servers, IDC_DELETE, "Delete"));
    serverButtons->addStretch(1);
    serversRow->addLayout(serverButtons);
    layout->addWidget(servers);

    addButtonRow(layout, "Ok", "Cancel");
}

QWidget* dlgNNTPCfg::addAfterDownload(QWidget* parentWidget) {
    auto* group = new QGroupBox("After the download", parentWidget);
    auto* column = new QVBoxLayout(group);
    const struct {
        int id;
        const char* text;
    } checks[] = {
        {IDC_POSTPROCESS, "Post-process finished posts (verify, repair)"},
        {IDC_UNPACK, "Unpack archives"},
        {IDC_CLEANUP, "Remove archives and PAR2 files after unpacking"},
    };
    for (const auto& entry : checks) {
        auto* box = new QCheckBox(entry.text, group);
        setControlId(box, entry.id);
        QObject::connect(box, &QCheckBox::toggled, box, [this] { greyDependentChecks(); });
        column->addWidget(box);
    }
    return group;
}

void dlgNNTPCfg::greyDependentChecks() {
    const bool postprocess = checkBox(IDC_POSTPROCESS)->isChecked();
    checkBox(IDC_UNPACK)->setEnabled(postprocess);
    checkBox(IDC_CLEANUP)->setEnabled(postprocess && checkBox(IDC_UNPACK)->isChecked());
}

cListView* dlgNNTPCfg::serverList() const {
    return dynamic_cast<cListView*>(GetDlgItem(handle(), IDC_SERVERLIST));
}

// A listed section without a host name takes no entry, so the used entries stay the
// leading ones.
void dlgNNTPCfg::readConfig() {
    config = nntpConfig{};
    printf("RDnntpConfig ");
    profile::getString("DEFAULT", "downloadto", "./temp", config.downloadto,
                       sizeof config.downloadto, CONFIG_INI);
    profile::getString("DEFAULT", "tempfolder", "./temp", config.tempfolder,
                       sizeof config.tempfolder, CONFIG_INI);
    config.autoloadGUI = profile::getInt("DEFAULT", "autoloadGUI", 1, CONFIG_INI);
    config.postprocess = profile::getInt("DEFAULT", "postprocess", 1, CONFIG_INI) ? 1 : 0;
    config.unpack = profile::getInt("DEFAULT", "unpack", 1, CONFIG_INI) ? 1 : 0;
    config.cleanup = profile::getInt("DEFAULT", "cleanup", 1, CONFIG_INI) ? 1 : 0;

    char names[1024];
    profile::getString("DEFAULT", "servers", "", names, sizeof names, CONFIG_INI);
    int used = 0;
    for (const std::string& name : splitList(names, ';')) {
        if (used == MAX_SERVERS) break;
        printf("%s \n", name.c_str());
        const char* section = name.c_str();
        serverEntry& entry = config.servers[used];
        profile::getString(section, "hostname", "", entry.hostname, sizeof entry.hostname,
                           CONFIG_INI);
        entry.ssl = profile::getInt(section, "hostssl", 0, CONFIG_INI) ? 1 : 0;
        entry.sslverify = profile::getInt(section, "hostsslverify", 1, CONFIG_INI) ? 1 : 0;
        entry.port = profile::getInt(section, "hostport", defaultPort(entry), CONFIG_INI);
        entry.maxconnection = profile::getInt(section, "maxconnection", 2, CONFIG_INI);
        profile::getString(section, "username", "", entry.username, sizeof entry.username,
                           CONFIG_INI);
        profile::getString(section, "password", "", entry.password, sizeof entry.password,
                           CONFIG_INI);
        if (entry.hostname[0]) {
            ++used;
        } else {
            entry = serverEntry{};
        }
    }
}

// Servers are saved from the first entry up to the first free one; sections of servers
// no longer listed stay in the file, unread.
void dlgNNTPCfg::writeConfig() {
    getDlgItemText(IDC_DOWNLOADTO, config.downloadto);
    config.autoloadGUI = checkBox(IDC_MINIMIZED)->isChecked() ? 0 : 1;
    // Greyed boxes are saved as they show, so turning a setting back on restores them.
    config.postprocess = checkBox(IDC_POSTPROCESS)->isChecked() ? 1 : 0;
    config.unpack = checkBox(IDC_UNPACK)->isChecked() ? 1 : 0;
    config.cleanup = checkBox(IDC_CLEANUP)->isChecked() ? 1 : 0;
    profile::writeString("DEFAULT", "downloadto", config.downloadto, CONFIG_INI);
    profile::writeString("DEFAULT", "tempfolder", config.tempfolder, CONFIG_INI);
    profile::writeInt("DEFAULT", "autoloadGUI", config.autoloadGUI, CONFIG_INI);
    profile::writeInt("DEFAULT", "postprocess", config.postprocess, CONFIG_INI);
    profile::writeInt("DEFAULT", "unpack", config.unpack, CONFIG_INI);
    profile::writeInt("DEFAULT", "cleanup", config.cleanup, CONFIG_INI);

    std::string names;
    for (int i = 0; i < MAX_SERVERS && config.servers[i].hostname[0]; ++i) {
        serverEntry& entry = config.servers[i];
        if (entry.port < 1 || entry.port > HIGHEST_PORT) entry.port = defaultPort(entry);
        if (entry.maxconnection < 1 || entry.maxconnection > MAX_SERVER_CONNECTIONS)
            entry.maxconnection = 1;
        const char* section = entry.hostname;
        profile::writeString(section, "hostname", entry.hostname, CONFIG_INI);
        profile::writeInt(section, "hostid", i + 1, CONFIG_INI);
        profile::writeInt(section, "hostport", entry.port, CONFIG_INI);
        profile::writeInt(section, "maxconnection", entry.maxconnection, CONFIG_INI);
        profile::writeInt(section, "numactive", entry.maxconnection, CONFIG_INI);
        profile::writeString(section, "username", entry.username, CONFIG_INI);
        profile::writeString(section, "password", entry.password, CONFIG_INI);
        profile::writeInt(section, "hostssl", entry.ssl, CONFIG_INI);
        profile::writeInt(section, "hostsslverify", entry.sslverify, CONFIG_INI);
        names += entry.hostname;
        names += ';';
    }
    profile::writeString("DEFAULT", "servers", names.c_str(), CONFIG_INI);
}

void dlgNNTPCfg::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    readConfig();
    setDlgItemText(IDC_DOWNLOADTO, QString::fromUtf8(config.downloadto));
    checkBox(IDC_MINIMIZED)->setChecked(config.autoloadGUI == 0);
    checkBox(IDC_POSTPROCESS)->setChecked(config.postprocess != 0);
    checkBox(IDC_UNPACK)->setChecked(config.unpack != 0);
    checkBox(IDC_CLEANUP)->setChecked(config.cleanup != 0);
    greyDependentChecks();

    cListView* list = serverList();
    static const char* const titles[] = {"Hostname", "Port", "#", nullptr};
    static const int widths[] = {150, 40, 25};
    LVN_setheaders(list, titles, widths);
    for (int row = 0; row < MAX_SERVERS && config.servers[row].hostname[0]; ++row) {
        list->insertItem(row, config.servers[row].hostname);
        showServer(row);
    }
    centerWindow(hwnd);
}

void dlgNNTPCfg::on_WM_COMMAND(HWND, uintptr_t wParam, intptr_t) {
    switch (loWord(wParam)) {
    case IDC_BROWSE:
        browseFolder();
        break;
    case IDC_EDIT:
        editServer();
        break;
    case IDC_NEW:
        newServer();
        break;
    case IDC_DELETE:
        deleteServer();
        break;
    case IDOK:
        writeConfig();
        endDialog(IDOK);
        break;
    case IDCANCEL:
        endDialog(IDCANCEL);
        break;
    }
}

// The picker starts in the current download folder when that exists.
void dlgNNTPCfg::browseFolder() {
    QString current = dlgItemText(IDC_DOWNLOADTO);
    if (!QFileInfo(current).isDir()) current.clear();
    QString folder =
        QFileDialog::getExistingDirectory(handle(), "Select folder to download to..", current);
    if (folder.isEmpty()) return;
    setDlgItemText(IDC_DOWNLOADTO, folder);
    getDlgItemText(IDC_DOWNLOADTO, config.downloadto);
}

void dlgNNTPCfg::editServer() {
    const int row = serverList()->firstSelected();
    if (row < 0) return;
    dlgServerCfg(config.servers[row]).run(handle());
    if (config.servers[row].hostname[0]) showServer(row);
}

void dlgNNTPCfg::newServer() {
    cListView* list = serverList();
    const int row = list->itemCount();
    if (row >= MAX_SERVERS) return;
    dlgServerCfg(config.servers[row]).run(handle());
    if (!config.servers[row].hostname[0]) return;
    list->insertItem(row, config.servers[row].hostname);
    showServer(row);
}

void dlgNNTPCfg::deleteServer() {
    cListView* list = serverList();
    const int row = list->firstSelected();
    if (row < 0) return;
    list->deleteItem(row);
    for (int i = row; i + 1 < MAX_SERVERS; ++i)
        config.servers[i] = config.servers[i + 1];
    config.servers[MAX_SERVERS - 1] = serverEntry{};
    for (int i = 0; i < list->itemCount(); ++i)
        showServer(i);
}

void dlgNNTPCfg::showServer(int row) {
    const serverEntry& entry = config.servers[row];
    cListView* list = serverList();
    list->setItemText(row, 0, entry.hostname);
    list->setItemText(row, 1, std::to_string(entry.port).c_str());
    list->setItemText(row, 2, std::to_string(entry.maxconnection).c_str());
}

int showConfigDialog(QWidget* parent) {
    return dlgNNTPCfg().run(parent);
}
