// The search window from end to end: the real window on the offscreen platform, the real
// coordinator, plug-ins and fetcher, one test web server per engine on loopback, and a
// recording "xdg-open" first on PATH standing in for the desktop. A keyword is typed, the
// Search button pressed, three results selected and downloaded, as a user would.
#include "CDlgMain.h"
#include "CDlgResult.h"
#include "CDlgSearch.h"
#include "EngineWebServers.h"
#include "NewznabIndexers.h"
#include "NzbAssociationCheck.h"
#include "ProcessEventsUntil.h"
#include "RecordingXdgOpen.h"
#include "TestCertificates.h"
#include "TestFolders.h"
#include "XdgSandbox.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const KEYWORD = "yEnc";

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

class SearchWindowEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(home.path + "/cfg");
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        servers = std::make_unique<EngineWebServers>(home.path, logs.path);
        ASSERT_TRUE(servers->started());
    }
    void TearDown() override {
        main.reset();
        unsetenv("MIRAVEL_HOME");
    }

    std::string requestLog(const std::string& engine) const { return servers->requestLog(engine); }

    // What the desktop was asked to open, one entry per call.
    std::multiset<std::string> openedTargets() const {
        std::vector<std::string> calls = opener.calls();
        return std::multiset<std::string>(calls.begin(), calls.end());
    }

    std::set<std::string> nzbFiles() const {
        std::set<std::string> files;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(home.path + "/nzb", ignored))
            files.insert(entry.path().filename().string());
        return files;
    }

    QWidget* window() const { return main->handle(); }
    QAbstractItemView* list() const {
        return qobject_cast<QAbstractItemView*>(main->resultPanel().item(CDlgResult::IDC_LIST));
    }

    void chooseMenuCommand(const char* text) {
        QMenu* results = CWnd::findMenu(window(), "&Results");
        ASSERT_NE(results, nullptr);
        for (QAction* action : results->actions())
            if (action->text().section('\t', 0, 0) == text) {
                action->trigger();
                return;
            }
        FAIL() << "no menu entry " << text;
    }

    XdgSandbox xdg;
    WorkingFolder home{"tessaly_e2e"};
    TempFolder logs{"tessaly_e2e_logs"};
    RecordingXdgOpen opener;
    std::unique_ptr<EngineWebServers> servers;
    std::unique_ptr<CDlgMain> main;
};

TEST_F(SearchWindowEndToEnd, SearchSelectAndDownloadAsSeparateAndCombinedFiles) {
    main = std::make_unique<CDlgMain>();
    ASSERT_NE(main->Create(nullptr, CDlgMain::TEMPLATE_ID), nullptr);
    window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
    ASSERT_NE(list(), nullptr);
    // No download client in the program folder and none registered in the sandbox.
    EXPECT_EQ(main->getText(CDlgMain::IDC_STATUSBAR), kNzbNotRegistered);

    auto* keyword = qobject_cast<QComboBox*>(main->searchPanel().item(CDlgSearch::IDC_KEYWORD));
    auto* search = qobject_cast<QPushButton*>(main->searchPanel().item(CDlgSearch::IDC_SEARCH));
    ASSERT_TRUE(keyword && keyword->lineEdit() && search);
    QTest::keyClicks(keyword->lineEdit(), KEYWORD);
    QTest::mouseClick(search, Qt::LeftButton);

    // The binsearch page holds four rows whose subject has the keyword.
    ASSERT_TRUE(processEventsUntil([&] { return list()->model()->rowCount() == 4; }))
        << "rows shown: " << list()->model()->rowCount();
    EXPECT_NE(readFile(requestLog("binsearch")).find("GET /index.php?q=yEnc"), std::string::npos);

    list()->setFocus();
    for (int row = 0; row < 3; ++row) {
        QRect cell = list()->visualRect(list()->model()->index(row, 3));
        ASSERT_TRUE(cell.isValid());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    }
    const std::string ids = main->resultPanel().GetSelected(0, 0, 1, ";", 0);
    ASSERT_EQ(count(ids, ";"), 2u) << ids;

    chooseMenuCommand("Download selected");
    ASSERT_TRUE(processEventsUntil([&] {
        return nzbFiles().size() == 3 && openedTargets().size() == 3;
    })) << nzbFiles().size()
        << " files, " << openedTargets().size() << " opened";
    EXPECT_EQ(nzbFiles(), (std::set<std::string>{"yEnc.nzb", "yEnc_000.nzb", "yEnc_001.nzb"}));
    const std::string answer =
        readFile(std::string(EngineWebServers::FIXTURES) + "/binsearch/answer.nzb");
    for (const std::string& target : openedTargets()) {
        ASSERT_FALSE(target.empty());
        const std::string file = target.substr(0, target.size() - 1); // the NUL at its end
        EXPECT_EQ(fs::path(file).parent_path().filename(), "nzb") << file;
        EXPECT_EQ(readFile(file), answer) << file;
    }
    // One request per selected result, each asking for that result alone.
    const std::string log = readFile(requestLog("binsearch"));
    EXPECT_EQ(count(log, "POST /index.php"), 3u);
    size_t start = 0;
    for (size_t end = 0; end != std::string::npos; start = end + 1) {
        end = ids.find(';', start);
        const std::string id = ids.substr(start, end == std::string::npos ? end : end - start);
        EXPECT_EQ(count(log, "&" + id + "=on"), 1u) << id;
    }

    chooseMenuCommand("Download selected - combine files");
    ASSERT_TRUE(
        processEventsUntil([&] { return nzbFiles().size() == 4 && openedTargets().size() == 4; }));
    EXPECT_TRUE(nzbFiles().count("yEnc_002.nzb"));
    const std::string combined = readFile(requestLog("binsearch"));
    EXPECT_EQ(count(combined, "POST /index.php"), 4u);
    std::string joined;
    for (char c : ids)
        joined += c == ';' ? std::string("=on&") : std::string(1, c);
    EXPECT_EQ(count(combined, joined + "=on"), 1u) << "the three ids in one request";
}

// Two Newznab indexers over HTTPS beside the three sites: each has its own tab, its search
// shows its own rows, a selected row downloads through its enclosure, and an error
// answer is shown in the status bar.
class NewznabWindowEndToEnd : public SearchWindowEndToEnd {
  protected:
    void SetUp() override {
        SearchWindowEndToEnd::SetUp();
        indexers = std::make_unique<NewznabIndexers>(
            home.path, std::vector<std::string>{"alpha", "beta"},
            trust.certificates().localhost.certificate, trust.certificates().localhost.key);
        ASSERT_TRUE(indexers->started());
        main = std::make_unique<CDlgMain>();
        ASSERT_NE(main->Create(nullptr, CDlgMain::TEMPLATE_ID), nullptr);
        window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window()));
    }

    QPushButton* tab(const char* name) {
        for (int position = 0; position < CDlgSearch::MAXTABS; ++position) {
            auto* button = qobject_cast<QPushButton*>(
                main->searchPanel().item(CDlgSearch::IDC_FIRSTTAB + position));
            if (button && button->text() == name) return button;
        }
        return nullptr;
    }

    void searchOn(const char* engine, const char* words) {
        QPushButton* button = tab(engine);
        ASSERT_NE(button, nullptr) << engine;
        QTest::mouseClick(button, Qt::LeftButton);
        auto* keyword = qobject_cast<QComboBox*>(main->searchPanel().item(CDlgSearch::IDC_KEYWORD));
        auto* search = qobject_cast<QPushButton*>(main->searchPanel().item(CDlgSearch::IDC_SEARCH));
        ASSERT_TRUE(keyword && keyword->lineEdit() && search);
        keyword->lineEdit()->clear();
        QTest::keyClicks(keyword->lineEdit(), words);
        QTest::mouseClick(search, Qt::LeftButton);
    }

    // The subjects the list shows.
    std::vector<std::string> subjects() {
        std::vector<std::string> out;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            out.push_back(list()->model()->index(row, 3).data().toString().toUtf8().toStdString());
        return out;
    }

    TestTrustStore trust;
    std::unique_ptr<NewznabIndexers> indexers;
};

TEST_F(NewznabWindowEndToEnd, EachIndexerHasItsTabRowsAndDownloads) {
    ASSERT_NE(tab("binsearch"), nullptr);
    ASSERT_NE(tab("alpha"), nullptr);
    ASSERT_NE(tab("beta"), nullptr);

    searchOn("beta", "bunny");
    ASSERT_TRUE(processEventsUntil([&] { return list()->model()->rowCount() == 1; }))
        << "rows shown: " << list()->model()->rowCount();
    EXPECT_EQ(subjects(), std::vector<std::string>{"Big.Buck.Bunny.2008.1080p.BluRay.x264-LOOP"});
    EXPECT_EQ(readFile((*indexers)[0].requestLog()), "");

    // alpha's tab shows none of beta's rows until alpha has searched.
    QTest::mouseClick(tab("alpha"), Qt::LeftButton);
    ASSERT_TRUE(processEventsUntil([&] { return list()->model()->rowCount() == 0; }));
    searchOn("alpha", "bunny");
    ASSERT_TRUE(processEventsUntil([&] { return list()->model()->rowCount() == 1; }));
    list()->setFocus();
    const QRect cell = list()->visualRect(list()->model()->index(0, 3));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    chooseMenuCommand("Download selected");
    ASSERT_TRUE(processEventsUntil([&] { return nzbFiles().count("bunny.nzb") == 1; }));
    EXPECT_EQ(readFile(home.path + "/nzb/bunny.nzb"), NewznabIndexers::answerNzb());
    EXPECT_NE(readFile((*indexers)[0].requestLog()).find("GET /getnzb/6f1c2a9b3d.nzb&i=42&r="),
              std::string::npos);

    searchOn("alpha", "credentials");
    ASSERT_TRUE(processEventsUntil([&] {
        return main->getText(CDlgMain::IDC_STATUSBAR) ==
               "alpha: error 100: Incorrect user credentials";
    })) << main->getText(CDlgMain::IDC_STATUSBAR);
}

} // namespace
