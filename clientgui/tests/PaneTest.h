// The fixture of the pane tests: a real main window over a real download model on a
// temporary article database with two imported posts, and two servers whose workers stay
// disabled, so nothing leaves the machine.
#pragma once
#include "NNTPmodel.h"
#include "PostFixture.h"
#include "ProcessEventsUntil.h"
#include "ProgramFolder.h"
#include "TestFolders.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "cWndMain.h"
#include "listViewModel.h"
#include "profile.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

inline void* asData(int value) {
    return (void*)(intptr_t)value;
}

// Counts the paint events of a list and where they were asked to paint.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* viewport) { viewport->installEventFilter(this); }
    int paints = 0;
    QRegion painted;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

class PaneTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        ASSERT_EQ(createSchemaFile(), 0);
        server("127.0.0.1", 1);
        server("localhost", 2);
        profile::writeString("DEFAULT", "servers", "127.0.0.1;localhost;", CONFIG_INI);
        post("first", {"a.bin", "b.bin", "c.bin"});
        post("second", {"d.bin"});

        model = std::make_unique<NNTPmodel>();
        model->initialize(-1);
        model->handleCommandT(cmdQueueEnable, asData(0), nullptr);
        ASSERT_EQ(model->addnzb("./first.nzb"), 0);
        ASSERT_EQ(model->addnzb("./second.nzb"), 0);
        model->handleCommandT(cmdReload, asData(1), nullptr);

        ASSERT_EQ(window.create(nullptr), 0);
        window.setmodel(model.get());
        window.handle()->show();
        ASSERT_TRUE(processEventsUntil([&] { return posts()->itemCount() == 2; }));
    }

    void TearDown() override {
        window.setmodel(nullptr);
        model->terminate();
        model.reset();
        ProgramFolder::TearDown();
    }

    // A server whose workers do not start.
    static void server(const char* host, int hostid) {
        profile::writeString(host, "hostname", host, CONFIG_INI);
        profile::writeInt(host, "hostport", 9, CONFIG_INI);
        profile::writeInt(host, "hostid", hostid, CONFIG_INI);
        profile::writeInt(host, "maxconnection", 1, CONFIG_INI);
        profile::writeInt(host, "numactive", 0, CONFIG_INI);
    }

    static void post(const std::string& name, const std::vector<std::string>& files) {
        fs::create_directories("spool");
        for (const std::string& file : files) writeRandomFile(file, 1000, 1);
        PostOptions options;
        options.spool = "spool";
        options.nzb = name + ".nzb";
        options.subject = name;
        makePost(files, options);
    }

    cListView* posts() { return window.postPane().listView(); }
    cListView* files() { return window.filePane().listView(); }
    cListView* clients() { return window.clientPane().listView(); }
    QString label(int id) {
        return static_cast<QLabel*>(GetDlgItem(window.filePane().handle(), id))->text();
    }
    QString cell(cListView* list, int row, int column) {
        return list->model()->index(row, column).data().toString();
    }
    int state(int fid) {
        tfile* file = model->getqueue()->qfile(fid);
        return file ? file->fileState : -1;
    }

    void click(cListView* list, int row, int x = -1) {
        QRect rect = list->visualRect(list->model()->index(row, 0));
        QPoint at(x < 0 ? rect.center().x() : x, rect.center().y());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QApplication::processEvents();
    }

    // The first post's files, as shown after clicking it.
    std::vector<int> showFirstPost() {
        click(posts(), 0);
        EXPECT_TRUE(processEventsUntil([&] { return files()->itemCount() == 3; }));
        return window.filePane().fileIds();
    }

    std::unique_ptr<NNTPmodel> model;
    cWndMain window;
};

inline int progressOf(cListView* list, int row, int column) {
    return list->model()->index(row, column).data(ListViewModel::ProgressRole).toInt();
}
