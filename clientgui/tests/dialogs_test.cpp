// The Configuration, Server configuration and About dialogs on the offscreen platform,
// each test in a fresh working folder with a real config.ini, driven through their
// buttons as a user would.
#include "TestFolders.h"
#include "articleSchema.h"
#include "dlgAbout.h"
#include "dlgNNTPCfg.h"
#include "dlgServerCfg.h"
#include "fixedField.h"
#include "listView.h"
#include "profile.h"
#include "splitList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const char THREE_SERVERS[] = "[DEFAULT]\n"
                             "downloadto=./finished\n"
                             "tempfolder=./segments\n"
                             "autoloadGUI=1\n"
                             "showabout=1\n"
                             "servers=alpha.example;beta.example;gamma.example;\n"
                             "[alpha.example]\n"
                             "hostname=alpha.example\n"
                             "hostid=1\n"
                             "hostport=119\n"
                             "maxconnection=4\n"
                             "numactive=2\n"
                             "username=ann\n"
                             "password=secret\n"
                             "[beta.example]\n"
                             "hostname=beta.example\n"
                             "hostid=2\n"
                             "hostport=563\n"
                             "maxconnection=2\n"
                             "numactive=0\n"
                             "[gamma.example]\n"
                             "hostname=gamma.example\n"
                             "hostid=3\n"
                             "hostport=65534\n"
                             "maxconnection=16\n"
                             "numactive=1\n";

std::string ini(const char* section, const char* key) {
    return profile::getString(section, key, "<absent>", CONFIG_INI);
}

void press(HWND dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(dialog, id));
    ASSERT_NE(button, nullptr) << "button " << id;
    button->click();
}

QLineEdit* edit(HWND dialog, int id) {
    return qobject_cast<QLineEdit*>(GetDlgItem(dialog, id));
}

void pressKey(QWidget* target, Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
}

// The ids of the controls Tab visits, starting at control `first`.
std::vector<int> tabStops(HWND dialog, int first, size_t count) {
    std::vector<int> ids;
    QWidget* widget = GetDlgItem(dialog, first);
    while (widget && ids.size() < count) {
        ids.push_back(controlId(widget));
        do {
            widget = widget->nextInFocusChain();
        } while (!(widget->focusPolicy() & Qt::TabFocus) || controlId(widget) == 0);
    }
    return ids;
}

// Runs `command`, which opens a modal dialog, and hands that dialog to `inspect` once it
// is up; `inspect` must end it. Dialogs still open after 20 s are closed so the test
// fails instead of hanging. Returns whether a dialog came up at all.
bool withModal(const std::function<void()>& command, const std::function<void(QWidget*)>& inspect) {
    QObject guard;
    QWidget* before = QApplication::activeModalWidget();
    bool seen = false;
    QTimer::singleShot(0, &guard, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == before) return;
        seen = true;
        inspect(modal);
    });
    QTimer::singleShot(20000, &guard, [before] {
        for (int open = 0; open < 10; ++open) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == before) break;
            modal->close();
        }
    });
    command();
    return seen;
}

struct serverInput {
    QString host, port, connections, user, password;
};

// Fills the Server configuration dialog and presses Ok.
std::function<void(QWidget*)> enterServer(const serverInput& input) {
    return [input](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Server configuration");
        edit(dialog, dlgServerCfg::IDC_HOSTNAME)->setText(input.host);
        edit(dialog, dlgServerCfg::IDC_PORT)->setText(input.port);
        edit(dialog, dlgServerCfg::IDC_MAXCONNECTION)->setText(input.connections);
        edit(dialog, dlgServerCfg::IDC_USERNAME)->setText(input.user);
        edit(dialog, dlgServerCfg::IDC_PASSWORD)->setText(input.password);
        press(dialog, IDOK);
    };
}

class ConfigDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        writeFile(CONFIG_INI, THREE_SERVERS);
        owner.setGeometry(100, 80, 900, 700);
        owner.show();
    }

    HWND open() {
        HWND hwnd = dialog.open(&owner);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }

    std::vector<std::vector<std::string>> rows() const {
        std::vector<std::vector<std::string>> texts;
        QAbstractItemModel* model = dialog.serverList()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            std::vector<std::string> cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells.push_back(model->index(row, column).data().toString().toStdString());
            texts.push_back(cells);
        }
        return texts;
    }

    void editRow(int row, const serverInput& input) {
        dialog.serverList()->selectRow(row);
        ASSERT_TRUE(
            withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_EDIT); }, enterServer(input)));
    }

    void pressOk() {
        press(dialog.handle(), IDOK);
        ASSERT_TRUE(dialog.ended());
        EXPECT_EQ(dialog.result(), IDOK);
    }

    WorkingFolder folder{"dialogs_test"};
    QWidget owner;
    dlgNNTPCfg dialog;
};

TEST_F(ConfigDialog, OpensOnTheFileCentredOverItsOwner) {
    ::testing::internal::CaptureStdout();
    HWND hwnd = open();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "RDnntpConfig alpha.example \nbeta.example \ngamma.example \n");

    EXPECT_EQ(hwnd->windowTitle(), "Configuration");
    EXPECT_EQ(edit(hwnd, dlgNNTPCfg::IDC_DOWNLOADTO)->text(), "./finished");
    EXPECT_FALSE(
        qobject_cast<QCheckBox*>(GetDlgItem(hwnd, dlgNNTPCfg::IDC_MINIMIZED))->isChecked());
    EXPECT_EQ(std::string(dialog.workingCopy().tempfolder), "./segments");

    QHeaderView* header = dialog.serverList()->header();
    ASSERT_EQ(header->count(), 3);
    const char* titles[] = {"Hostname", "Port", "#"};
    const int widths[] = {150, 40, 25};
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(header->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(header->sectionSize(column), widths[column]);
    }
    EXPECT_EQ(rows(), (std::vector<std::vector<std::string>>{{"alpha.example", "119", "4"},
                                                             {"beta.example", "563", "2"},
                                                             {"gamma.example", "65534", "16"}}));

    // Centred before it was first shown, when its window frame was not known yet.
    const QPoint middle = hwnd->frameGeometry().center();
    EXPECT_LE(std::abs(middle.x() - owner.frameGeometry().center().x()), 4);
    EXPECT_LE(std::abs(middle.y() - owner.frameGeometry().center().y()), 4);
}

TEST_F(ConfigDialog, TabOrderFollowsTheTemplate) {
    const std::vector<int> order = {dlgNNTPCfg::IDC_DOWNLOADTO,
                                    dlgNNTPCfg::IDC_BROWSE,
                                    dlgNNTPCfg::IDC_MINIMIZED,
                                    dlgNNTPCfg::IDC_POSTPROCESS,
                                    dlgNNTPCfg::IDC_UNPACK,
                                    dlgNNTPCfg::IDC_CLEANUP,
                                    dlgNNTPCfg::IDC_SERVERLIST,
                                    dlgNNTPCfg::IDC_EDIT,
                                    dlgNNTPCfg::IDC_NEW,
                                    dlgNNTPCfg::IDC_DELETE,
                                    IDOK,
                                    IDCANCEL,
                                    dlgNNTPCfg::IDC_DOWNLOADTO};
    EXPECT_EQ(tabStops(open(), order.front(), order.size()), order);
}

TEST_F(ConfigDialog, OkWritesEveryKeyOfEveryServer) {
    open();
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "downloadto"), "./finished");
    EXPECT_EQ(ini("DEFAULT", "tempfolder"), "./segments");
    EXPECT_EQ(ini("DEFAULT", "autoloadGUI"), "1");
    EXPECT_EQ(ini("DEFAULT", "servers"), "alpha.example;beta.example;gamma.example;");
    EXPECT_EQ(ini("alpha.example", "hostname"), "alpha.example");
    EXPECT_EQ(ini("alpha.example", "hostid"), "1");
    EXPECT_EQ(ini("alpha.example", "hostport"), "119");
    EXPECT_EQ(ini("alpha.example", "maxconnection"), "4");
    EXPECT_EQ(ini("alpha.example", "numactive"), "4") << "numactive follows maxconnection";
    EXPECT_EQ(ini("alpha.example", "username"), "ann");
    EXPECT_EQ(ini("alpha.example", "password"), "secret");
    EXPECT_EQ(ini("beta.example", "hostid"), "2");
    EXPECT_EQ(ini("beta.example", "numactive"), "2");
    EXPECT_EQ(ini("beta.example", "username"), "");
    // The highest port and connection count allowed are kept.
    EXPECT_EQ(ini("gamma.example", "hostid"), "3");
    EXPECT_EQ(ini("gamma.example", "hostport"), "65534");
    EXPECT_EQ(ini("gamma.example", "maxconnection"), "16");
}

TEST_F(ConfigDialog, EmptyFileReadsDefaultsAndOkWritesThem) {
    writeFile(CONFIG_INI, "");
    open();
    EXPECT_EQ(dialog.serverList()->itemCount(), 0);
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "downloadto"), "./temp");
    EXPECT_EQ(ini("DEFAULT", "tempfolder"), "./temp");
    EXPECT_EQ(ini("DEFAULT", "autoloadGUI"), "1");
    EXPECT_EQ(ini("DEFAULT", "servers"), "");
}

TEST_F(ConfigDialog, PortsAndConnectionsOutOfRangeAreSavedCorrected) {
    open();
    editRow(0, {"alpha.example", "0", "0", "ann", "secret"});
    editRow(1, {"beta.example", "65535", "17", "", ""});
    editRow(2, {"gamma.example", "port", "-3", "", ""});
    EXPECT_EQ(rows()[0], (std::vector<std::string>{"alpha.example", "0", "0"}))
        << "the list shows what was entered until Ok";
    pressOk();
    for (const char* server : {"alpha.example", "beta.example", "gamma.example"}) {
        EXPECT_EQ(ini(server, "hostport"), "119") << server;
        EXPECT_EQ(ini(server, "maxconnection"), "1") << server;
        EXPECT_EQ(ini(server, "numactive"), "1") << server;
    }
}

TEST_F(ConfigDialog, DeletingTheFirstServerRenumbersTheOthers) {
    open();
    dialog.serverList()->selectRow(0);
    press(dialog.handle(), dlgNNTPCfg::IDC_DELETE);
    EXPECT_EQ(rows(), (std::vector<std::vector<std::string>>{{"beta.example", "563", "2"},
                                                             {"gamma.example", "65534", "16"}}));
    EXPECT_EQ(dialog.workingCopy().servers[2].hostname[0], 0) << "the freed entry is cleared";
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "servers"), "beta.example;gamma.example;");
    EXPECT_EQ(ini("beta.example", "hostid"), "1");
    EXPECT_EQ(ini("gamma.example", "hostid"), "2");
    EXPECT_EQ(ini("alpha.example", "hostname"), "alpha.example") << "its section stays";
}

TEST_F(ConfigDialog, RenamingWritesANewSectionAndKeepsTheOld) {
    open();
    editRow(0, {"delta.example", "8119", "3", "dora", "pw"});
    EXPECT_EQ(rows()[0], (std::vector<std::string>{"delta.example", "8119", "3"}));
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "servers"), "delta.example;beta.example;gamma.example;");
    EXPECT_EQ(ini("delta.example", "hostname"), "delta.example");
    EXPECT_EQ(ini("delta.example", "hostid"), "1");
    EXPECT_EQ(ini("delta.example", "hostport"), "8119");
    EXPECT_EQ(ini("delta.example", "username"), "dora");
    EXPECT_EQ(ini("delta.example", "password"), "pw");
    EXPECT_EQ(ini("alpha.example", "hostname"), "alpha.example");
    EXPECT_EQ(ini("alpha.example", "maxconnection"), "4");
}

TEST_F(ConfigDialog, NewServersAreAppendedUpToSixteen) {
    open();
    // A new server left without a host name adds nothing.
    ASSERT_TRUE(withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_NEW); },
                          [](QWidget* server) {
                              EXPECT_EQ(edit(server, dlgServerCfg::IDC_PORT)->text(), "119");
                              EXPECT_EQ(edit(server, dlgServerCfg::IDC_MAXCONNECTION)->text(), "1");
                              EXPECT_EQ(edit(server, dlgServerCfg::IDC_HOSTNAME)->text(), "");
                              press(server, IDOK);
                          }));
    EXPECT_EQ(dialog.serverList()->itemCount(), 3);

    for (int n = 3; n < MAX_SERVERS; ++n) {
        const QString host = QString("news%1.example").arg(n);
        ASSERT_TRUE(withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_NEW); },
                              enterServer({host, "119", "2", "", ""})));
    }
    ASSERT_EQ(dialog.serverList()->itemCount(), MAX_SERVERS);
    EXPECT_EQ(rows()[3], (std::vector<std::string>{"news3.example", "119", "2"}));
    EXPECT_FALSE(withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_NEW); },
                           [](QWidget* server) { press(server, IDCANCEL); }))
        << "no seventeenth server";

    pressOk();
    EXPECT_EQ(ini("news3.example", "hostid"), "4");
    EXPECT_EQ(ini("news15.example", "hostid"), "16");
    EXPECT_EQ(splitList(ini("DEFAULT", "servers"), ';').size(), size_t(MAX_SERVERS));
}

TEST_F(ConfigDialog, ClearedHostNameEndsTheSavedList) {
    open();
    editRow(1, {"", "119", "2", "", ""});
    EXPECT_EQ(rows()[1][0], "beta.example") << "the list stays as it was";
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "servers"), "alpha.example;");
}

TEST_F(ConfigDialog, StartupMinimizedSavesNoAutomaticWindow) {
    open();
    qobject_cast<QCheckBox*>(GetDlgItem(dialog.handle(), dlgNNTPCfg::IDC_MINIMIZED))->click();
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "autoloadGUI"), "0");

    dlgNNTPCfg again;
    HWND hwnd = again.open(&owner);
    auto* minimized = qobject_cast<QCheckBox*>(GetDlgItem(hwnd, dlgNNTPCfg::IDC_MINIMIZED));
    EXPECT_TRUE(minimized->isChecked());
    minimized->click();
    press(hwnd, IDOK);
    EXPECT_EQ(ini("DEFAULT", "autoloadGUI"), "1");
}

// The three settings of what follows a download, in the order they depend on each other.
struct afterDownload {
    QCheckBox* postprocess;
    QCheckBox* unpack;
    QCheckBox* cleanup;

    explicit afterDownload(HWND dialog)
        : postprocess(qobject_cast<QCheckBox*>(GetDlgItem(dialog, dlgNNTPCfg::IDC_POSTPROCESS))),
          unpack(qobject_cast<QCheckBox*>(GetDlgItem(dialog, dlgNNTPCfg::IDC_UNPACK))),
          cleanup(qobject_cast<QCheckBox*>(GetDlgItem(dialog, dlgNNTPCfg::IDC_CLEANUP))) {}
    // Ticked and enabled, as "1" or "0" each.
    std::string ticked() const {
        return std::string() + (postprocess->isChecked() ? "1" : "0") +
               (unpack->isChecked() ? "1" : "0") + (cleanup->isChecked() ? "1" : "0");
    }
    std::string enabled() const {
        return std::string() + (postprocess->isEnabled() ? "1" : "0") +
               (unpack->isEnabled() ? "1" : "0") + (cleanup->isEnabled() ? "1" : "0");
    }
};

// postprocess, unpack and cleanup as config.ini holds them.
std::string savedAfterDownload() {
    return ini("DEFAULT", "postprocess") + "," + ini("DEFAULT", "unpack") + "," +
           ini("DEFAULT", "cleanup");
}

TEST_F(ConfigDialog, AfterDownloadChecksAreOnUnlessTheFileSaysOtherwise) {
    afterDownload checks(open());
    EXPECT_EQ(checks.postprocess->text(), "Post-process finished posts (verify, repair)");
    EXPECT_EQ(checks.unpack->text(), "Unpack archives");
    EXPECT_EQ(checks.cleanup->text(), "Remove archives and PAR2 files after unpacking");
    EXPECT_EQ(checks.ticked(), "111");
    EXPECT_EQ(checks.enabled(), "111");
    pressOk();
    EXPECT_EQ(savedAfterDownload(), "1,1,1");

    // Any other number than 0 counts as on, and is saved as 1.
    profile::writeString("DEFAULT", "postprocess", "7", CONFIG_INI);
    profile::writeString("DEFAULT", "unpack", "0", CONFIG_INI);
    profile::writeString("DEFAULT", "cleanup", "0", CONFIG_INI);
    dlgNNTPCfg again;
    HWND hwnd = again.open(&owner);
    afterDownload reread(hwnd);
    EXPECT_EQ(reread.ticked(), "100");
    EXPECT_EQ(reread.enabled(), "110");
    press(hwnd, IDOK);
    EXPECT_EQ(savedAfterDownload(), "1,0,0");
}

// Unpack needs post-processing and cleanup needs unpack; a greyed box keeps its tick and
// is saved as it shows, so turning the setting above it back on restores it.
TEST_F(ConfigDialog, UnpackAndCleanupAreGreyedWithoutTheSettingTheyNeed) {
    profile::writeString("DEFAULT", "postprocess", "0", CONFIG_INI);
    afterDownload checks(open());
    EXPECT_EQ(checks.ticked(), "011");
    EXPECT_EQ(checks.enabled(), "100");

    checks.postprocess->click();
    EXPECT_EQ(checks.enabled(), "111");
    checks.unpack->click();
    EXPECT_EQ(checks.ticked(), "101");
    EXPECT_EQ(checks.enabled(), "110");
    checks.postprocess->click();
    EXPECT_EQ(checks.enabled(), "100");
    checks.postprocess->click();
    checks.unpack->click();
    EXPECT_EQ(checks.enabled(), "111");
    checks.cleanup->click();
    checks.postprocess->click();
    EXPECT_EQ(checks.ticked(), "010");
    EXPECT_EQ(checks.enabled(), "100");
    pressOk();
    EXPECT_EQ(savedAfterDownload(), "0,1,0");
}

TEST_F(ConfigDialog, CancelAndEscapeWriteNothing) {
    const std::string before = readFile(CONFIG_INI);
    open();
    dialog.serverList()->selectRow(0);
    press(dialog.handle(), dlgNNTPCfg::IDC_DELETE);
    editRow(0, {"other.example", "1", "1", "", ""});
    qobject_cast<QCheckBox*>(GetDlgItem(dialog.handle(), dlgNNTPCfg::IDC_MINIMIZED))->click();
    afterDownload(dialog.handle()).postprocess->click();
    edit(dialog.handle(), dlgNNTPCfg::IDC_DOWNLOADTO)->setText("/elsewhere");
    press(dialog.handle(), IDCANCEL);
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(readFile(CONFIG_INI), before);

    dlgNNTPCfg escaped;
    pressKey(escaped.open(&owner), Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), IDCANCEL);
    EXPECT_EQ(readFile(CONFIG_INI), before);
}

TEST_F(ConfigDialog, ShowConfigDialogAnswersOkOrCancel) {
    const std::string before = readFile(CONFIG_INI);
    int result = 0;
    ASSERT_TRUE(withModal([&] { result = showConfigDialog(&owner); },
                          [](QWidget* config) { press(config, IDCANCEL); }));
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(readFile(CONFIG_INI), before);

    ASSERT_TRUE(withModal([&] { result = showConfigDialog(&owner); },
                          [](QWidget* config) {
                              edit(config, dlgNNTPCfg::IDC_DOWNLOADTO)->setText("./done");
                              press(config, IDOK);
                          }));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ini("DEFAULT", "downloadto"), "./done");
}

TEST_F(ConfigDialog, FolderPickerSetsTheDownloadFolder) {
    const std::string chosen = folder.file("picked");
    std::filesystem::create_directory(chosen);
    open();
    ASSERT_TRUE(withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_BROWSE); },
                          [](QWidget* picker) { picker->close(); }));
    EXPECT_EQ(edit(dialog.handle(), dlgNNTPCfg::IDC_DOWNLOADTO)->text(), "./finished")
        << "no folder chosen";

    ASSERT_TRUE(withModal([&] { press(dialog.handle(), dlgNNTPCfg::IDC_BROWSE); },
                          [&](QWidget* picker) {
                              auto* files = qobject_cast<QFileDialog*>(picker);
                              ASSERT_NE(files, nullptr);
                              EXPECT_EQ(files->windowTitle(), "Select folder to download to..");
                              files->setDirectory(QString::fromStdString(chosen));
                              static_cast<QDialog*>(files)->accept();
                          }));
    EXPECT_EQ(edit(dialog.handle(), dlgNNTPCfg::IDC_DOWNLOADTO)->text().toStdString(), chosen);
    EXPECT_EQ(std::string(dialog.workingCopy().downloadto), chosen);
    pressOk();
    EXPECT_EQ(ini("DEFAULT", "downloadto"), chosen);
}

class ServerDialog : public ::testing::Test {
  protected:
    serverEntry entry{};
};

TEST_F(ServerDialog, OpeningCorrectsZeroPortAndConnections) {
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    EXPECT_EQ(hwnd->windowTitle(), "Server configuration");
    EXPECT_EQ(edit(hwnd, dlgServerCfg::IDC_PORT)->text(), "119");
    EXPECT_EQ(edit(hwnd, dlgServerCfg::IDC_MAXCONNECTION)->text(), "1");
    EXPECT_EQ(dialog.spinPosition(), 1);
    EXPECT_EQ(edit(hwnd, dlgServerCfg::IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    const std::vector<int> order = {dlgServerCfg::IDC_HOSTNAME,
                                    dlgServerCfg::IDC_PORT,
                                    dlgServerCfg::IDC_SSL,
                                    dlgServerCfg::IDC_SSLVERIFY,
                                    dlgServerCfg::IDC_MAXCONNECTION,
                                    dlgServerCfg::IDC_USERNAME,
                                    dlgServerCfg::IDC_PASSWORD,
                                    IDOK,
                                    IDCANCEL,
                                    dlgServerCfg::IDC_HOSTNAME};
    EXPECT_EQ(tabStops(hwnd, order.front(), order.size()), order) << "the spin arrows take no tab";
}

TEST_F(ServerDialog, SpinStepsTheConnectionsAndRefusesBelowZero) {
    entry.maxconnection = 2;
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    QList<QAbstractButton*> arrows =
        GetDlgItem(hwnd, dlgServerCfg::IDC_SPIN)->findChildren<QAbstractButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QAbstractButton* up = arrows[0];
    QAbstractButton* down = arrows[1];
    QLineEdit* connections = edit(hwnd, dlgServerCfg::IDC_MAXCONNECTION);

    up->click();
    EXPECT_EQ(connections->text(), "3");
    for (int i = 0; i < 3; ++i)
        down->click();
    EXPECT_EQ(connections->text(), "0");
    down->click();
    EXPECT_EQ(dialog.spinPosition(), 0);
    EXPECT_EQ(connections->text(), "0") << "no step below 0";
    up->click();
    EXPECT_EQ(connections->text(), "1");
    EXPECT_EQ(entry.maxconnection, 2) << "only Ok changes the entry";
}

TEST_F(ServerDialog, OkCopiesTheEditsCutToTheirFields) {
    copyField(entry.hostname, "old.example");
    entry.port = 119;
    entry.maxconnection = 2;
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    edit(hwnd, dlgServerCfg::IDC_HOSTNAME)->setText(QString(200, 'h'));
    edit(hwnd, dlgServerCfg::IDC_PORT)->setText(" 563 ");
    edit(hwnd, dlgServerCfg::IDC_MAXCONNECTION)->setText("7");
    // 62 ASCII characters and a two-byte one: the last does not fit whole.
    edit(hwnd, dlgServerCfg::IDC_USERNAME)->setText(QString(62, 'u') + QString::fromUtf8("é"));
    edit(hwnd, dlgServerCfg::IDC_PASSWORD)->setText("p4ss word");
    press(hwnd, IDOK);

    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(std::string(entry.hostname), std::string(127, 'h'));
    EXPECT_EQ(entry.port, 563);
    EXPECT_EQ(entry.maxconnection, 7);
    EXPECT_EQ(std::string(entry.username), std::string(62, 'u'));
    EXPECT_EQ(std::string(entry.password), "p4ss word");
}

TEST_F(ServerDialog, TickingTlsProposesItsPortAndOkStoresBothChecks) {
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    auto* tls = qobject_cast<QCheckBox*>(GetDlgItem(hwnd, dlgServerCfg::IDC_SSL));
    auto* verify = qobject_cast<QCheckBox*>(GetDlgItem(hwnd, dlgServerCfg::IDC_SSLVERIFY));
    QLineEdit* port = edit(hwnd, dlgServerCfg::IDC_PORT);
    EXPECT_FALSE(tls->isChecked());
    EXPECT_TRUE(verify->isChecked()) << "a new server is verified";
    EXPECT_FALSE(verify->isEnabled());

    tls->click();
    EXPECT_EQ(port->text(), "563");
    EXPECT_TRUE(verify->isEnabled());
    tls->click();
    EXPECT_EQ(port->text(), "119");
    // A port of the user's own stays whichever way the box goes.
    port->setText("8119");
    tls->click();
    EXPECT_EQ(port->text(), "8119");
    verify->click();
    edit(hwnd, dlgServerCfg::IDC_HOSTNAME)->setText("news.example");
    press(hwnd, IDOK);
    EXPECT_EQ(entry.ssl, 1);
    EXPECT_EQ(entry.sslverify, 0);
    EXPECT_EQ(entry.port, 8119);
}

TEST_F(ServerDialog, AStoredTlsServerOpensWithItsOwnPort) {
    copyField(entry.hostname, "secure.example");
    entry.port = 119; // unusual, but the user's
    entry.maxconnection = 1;
    entry.ssl = 1;
    entry.sslverify = 1;
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(GetDlgItem(hwnd, dlgServerCfg::IDC_SSL))->isChecked());
    EXPECT_EQ(edit(hwnd, dlgServerCfg::IDC_PORT)->text(), "119");
}

TEST_F(ConfigDialog, TlsKeysAreReadAndWrittenWithTheirDefaults) {
    writeFile(CONFIG_INI, "[DEFAULT]\nservers=plain.example;secure.example;\n"
                          "[plain.example]\nhostname=plain.example\n"
                          "[secure.example]\nhostname=secure.example\nhostssl=1\n"
                          "hostsslverify=0\nhostsslfingerprint=sha256:ab\n");
    open();
    EXPECT_EQ(rows()[1][1], "563") << "TLS without a port: 563";
    pressOk();
    EXPECT_EQ(ini("plain.example", "hostssl"), "0");
    EXPECT_EQ(ini("plain.example", "hostsslverify"), "1");
    EXPECT_EQ(ini("plain.example", "hostport"), "119");
    EXPECT_EQ(ini("secure.example", "hostssl"), "1");
    EXPECT_EQ(ini("secure.example", "hostsslverify"), "0");
    EXPECT_EQ(ini("secure.example", "hostport"), "563");
    EXPECT_EQ(ini("secure.example", "hostsslfingerprint"), "sha256:ab") << "kept as it was";
}

TEST_F(ServerDialog, CancelLeavesTheEntry) {
    copyField(entry.hostname, "keep.example");
    entry.port = 563;
    entry.maxconnection = 4;
    copyField(entry.username, "user");
    const serverEntry before = entry;
    dlgServerCfg dialog(entry);
    HWND hwnd = dialog.open(nullptr);
    edit(hwnd, dlgServerCfg::IDC_HOSTNAME)->setText("changed.example");
    edit(hwnd, dlgServerCfg::IDC_PORT)->setText("1");
    pressKey(hwnd, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(memcmp(&entry, &before, sizeof entry), 0);
}

class AboutDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        writeFile(CONFIG_INI, THREE_SERVERS);
    }
    WorkingFolder folder{"dialogs_test"};
};

TEST_F(AboutDialog, OpeningStopsTheAutomaticShowAndShowsTheVersion) {
    std::vector<QUrl> opened;
    dlgAbout dialog([&](const QUrl& address) { opened.push_back(address); });
    HWND hwnd = dialog.open(nullptr);
    EXPECT_EQ(ini("DEFAULT", "showabout"), "0");
    EXPECT_EQ(ini("DEFAULT", "servers"), "alpha.example;beta.example;gamma.example;")
        << "nothing else is written";
    EXPECT_EQ(hwnd->windowTitle(), "About Brindle");
    EXPECT_EQ(qobject_cast<QLabel*>(GetDlgItem(hwnd, dlgAbout::IDC_VERSION))->text(),
              "Brindle v1.0.9");

    bool described = false;
    for (QLabel* label : hwnd->findChildren<QLabel*>())
        described |= label->text() ==
                     "This is the first implementation of the Brindle.\n It is developed for use "
                     "with Miravel to support the actual downloading from Usenet.\n\nWith this "
                     "client you are able to download from Usenet by importing NZB files.";
    EXPECT_TRUE(described);
    press(hwnd, IDOK);
    EXPECT_EQ(dialog.result(), IDOK);
}

// Homepage and Howto configured, Contact not: the first two are links to their own
// addresses, Contact is plain text that a click does not open.
TEST_F(AboutDialog, ConfiguredLinksOpenTheirPagesAndTheOthersArePlainText) {
    profile::writeString("DEFAULT", "homepage", "https://brindle.example/home", CONFIG_INI);
    profile::writeString("DEFAULT", "contact", "  ", CONFIG_INI);
    profile::writeString("DEFAULT", "howto", "http://127.0.0.1:8080/howto", CONFIG_INI);
    std::vector<QUrl> opened;
    dlgAbout dialog([&](const QUrl& address) { opened.push_back(address); });
    HWND hwnd = dialog.open(nullptr);
    const struct {
        int id;
        const char* text;
        bool link;
    } links[] = {{dlgAbout::IDC_HOMEPAGE, "Homepage", true},
                 {dlgAbout::IDC_CONTACT, "Contact", false},
                 {dlgAbout::IDC_HOWTO, "Howto", true}};
    for (const auto& [id, text, isLink] : links) {
        auto* link = qobject_cast<QLabel*>(GetDlgItem(hwnd, id));
        ASSERT_NE(link, nullptr) << text;
        EXPECT_EQ(link->text(), text);
        EXPECT_EQ(link->cursor().shape() == Qt::PointingHandCursor, isLink) << text;
        EXPECT_EQ(link->palette().color(QPalette::WindowText) == QColor(Qt::blue), isLink) << text;
        EXPECT_FALSE(link->autoFillBackground()) << text;

        const QPointF inside(2, 2);
        QMouseEvent rightClick(QEvent::MouseButtonRelease, inside, link->mapToGlobal(inside),
                               Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(link, &rightClick);
        QMouseEvent leftClick(QEvent::MouseButtonRelease, inside, link->mapToGlobal(inside),
                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(link, &leftClick);
    }
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl("https://brindle.example/home"),
                                         QUrl("http://127.0.0.1:8080/howto")}))
        << "left clicks on configured links only";
    EXPECT_FALSE(dialog.ended());
}

TEST_F(AboutDialog, CloseEndsWithOneAndTheWindowsCloseWithTwo) {
    int result = 0;
    ASSERT_TRUE(withModal([&] { result = showAboutDialog(nullptr); },
                          [](QWidget* about) { press(about, IDOK); }));
    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(withModal([&] { result = showAboutDialog(nullptr); },
                          [](QWidget* about) { about->close(); }));
    EXPECT_EQ(result, IDCANCEL);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The folder picker must be Qt's own dialog, which a test can reach, not a desktop's.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
