// What the panel tests stand on: a fresh program folder with a real results database
// and the real coordinator, and a stand-in for the main window that records the
// commands the panels send it and carries the "&Results" menu.
#pragma once
#include "CMiravel.h"
#include "CMiravelDB.h"
#include "CWnd.h"
#include "SearchHome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RecordedCommand {
    int code;
    int id;
    intptr_t lparam;
    bool operator==(const RecordedCommand&) const = default;
};

class MainStandIn : public CWnd {
  public:
    static constexpr int RESULTS_COMMAND = 32781;

    intptr_t WndProcCustom(QWidget*, unsigned message, uintptr_t wparam, intptr_t lparam) override {
        if (message == WM_COMMAND) commands.push_back({hiWord(wparam), loWord(wparam), lparam});
        return 0;
    }
    std::vector<RecordedCommand> commands;

  protected:
    void buildTemplate(QWidget* dialog, int) override {
        auto* bar = new QMenuBar(dialog);
        QMenu* results = bar->addMenu("&Results");
        addCommand(results, dialog, "Download selected", RESULTS_COMMAND);
        dialog->resize(900, 600);
    }
};

// Processes events until `done` holds or 20 s have passed; the result of `done`.
inline bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 20000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// One result row of the "result" table; the subject tells the id, so a test can see that
// a row is whole.
inline std::string resultRow(const std::string& id, const std::string& subject, int size, int age,
                             const std::string& engine = "binsearch") {
    return "INSERT OR IGNORE INTO result VALUES('" + id + "','" + engine + "',0,100,'1/1','" +
           subject + "',''," + std::to_string(size) + ",'a.b.test','','poster'," +
           std::to_string(age) + ",0);\n";
}

class PanelHome : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(home.path.empty());
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        miravel = std::make_unique<CMiravel>(nullptr, nullptr);
        ASSERT_TRUE(main.Create(nullptr, 100));
        main.handle()->show();
    }
    void TearDown() override {
        miravel.reset();
        unsetenv("MIRAVEL_HOME");
    }
    void insert(const std::string& rows) {
        CMiravelDB db;
        ASSERT_EQ(db.insertData(("BEGIN;\n" + rows + "COMMIT;\n").c_str()), 0);
    }

    SearchHome home;
    MainStandIn main;
    std::unique_ptr<CMiravel> miravel;
};
