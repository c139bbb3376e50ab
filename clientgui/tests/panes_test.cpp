// The post, file and server panes in a real main window over a real download model: a
// temporary article database with two imported posts, and two servers whose workers
// stay disabled, so nothing leaves the machine.
#include "NNTPmodel.h"
#include "PostFixture.h"
#include "ProcessEventsUntil.h"
#include "ProgramFolder.h"
#include "YencPostWriter.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "cWndMain.h"
#include "profile.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

void* asData(int value) {
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

TEST_F(PaneTest, ClickingAPostShowsItsFilesWithDateAndSubject) {
    EXPECT_TRUE(cell(posts(), 0, 0).contains("first"));
    EXPECT_EQ(files()->itemCount(), 0);
    EXPECT_EQ(label(IDC_FILESUBJECT), "");

    std::vector<int> ids = showFirstPost();
    EXPECT_EQ(window.filePane().shownPost(), window.postPane().postIds()[0]);
    EXPECT_TRUE(label(IDC_FILESUBJECT).contains("first"));
    EXPECT_FALSE(label(IDC_FILEDATE).isEmpty());
    EXPECT_TRUE(cell(files(), 0, 0).contains("a.bin"));
    EXPECT_EQ(cell(files(), 0, 3), QString("0/1 (1)"));

    // A post that has no files leaves both labels empty.
    window.filePane().showPost(999);
    EXPECT_EQ(files()->itemCount(), 0);
    EXPECT_EQ(label(IDC_FILEDATE), "");
    EXPECT_EQ(label(IDC_FILESUBJECT), "");
}

TEST_F(PaneTest, DeleteRemovesThePostAndShowsTheFirstRemainingOne) {
    int second = window.postPane().postIds()[1];
    click(posts(), 0);
    QTest::keyClick(posts(), Qt::Key_Delete);
    ASSERT_TRUE(processEventsUntil([&] { return posts()->itemCount() == 1; }));
    EXPECT_EQ(posts()->firstSelected(), 0);
    EXPECT_EQ(window.filePane().shownPost(), second);
    EXPECT_TRUE(processEventsUntil([&] { return files()->itemCount() == 1; }));

    QTest::keyClick(posts(), Qt::Key_Delete);
    ASSERT_TRUE(processEventsUntil([&] { return posts()->itemCount() == 0; }));
    EXPECT_EQ(posts()->firstSelected(), -1);
    EXPECT_TRUE(processEventsUntil([&] { return files()->itemCount() == 0; }));
}

TEST_F(PaneTest, TheStateIconQueuesOrUnqueuesByState) {
    std::vector<int> ids = showFirstPost();
    ASSERT_EQ(state(ids[0]), fsQueued);

    click(files(), 0, 5); // on the icon: a queued file leaves the queue
    EXPECT_TRUE(processEventsUntil([&] { return state(ids[0]) == fsNotQueued; }));
    click(files(), 0, 5); // and comes back
    EXPECT_TRUE(processEventsUntil([&] { return state(ids[0]) == fsQueued; }));
    click(files(), 0, 100); // elsewhere on the row: only selects
    QApplication::processEvents();
    EXPECT_EQ(state(ids[0]), fsQueued);
}

TEST_F(PaneTest, AFileWhoseDecodeFailedShowsItAndWhy) {
    std::vector<int> ids = showFirstPost();
    tfile* file = model->getqueue()->qfile(ids[1]);
    snprintf(file->fileError, sizeof file->fileError, "yydecode exit 1: crc error");
    file->fileState = fsDecodeFailed;
    EXPECT_EQ(cell(files(), 1, 3), QString("decode failed: yydecode exit 1: crc error"));
    QVariant icon = files()->model()->index(1, 0).data(Qt::DecorationRole);
    EXPECT_FALSE(icon.value<QIcon>().isNull());
}

TEST_F(PaneTest, ProgressRedrawsOnlyTheShownPostsProgressCell) {
    std::vector<int> ids = showFirstPost();
    processEventsUntil([] { return false; }, 200); // the list settles after the click
    PaintCounter counter(files()->viewport());

    // A file of the other post: its row 0 is a visible row here too. Then the shown
    // post's second file; only that file's progress cell may be painted.
    int other = window.postPane().postIds()[1];
    std::vector<int> otherFiles;
    model->getqueue()->qfiles(&otherFiles, other);
    ASSERT_EQ(otherFiles.size(), 1u);
    tfile* foreign = model->getqueue()->qfile(otherFiles[0]);
    tfile* own = model->getqueue()->qfile(ids[1]);
    std::thread([&] {
        model->getqueue()->notify(updFileProgress, foreign);
        model->getqueue()->notify(updFileProgress, own);
    }).join();
    ASSERT_TRUE(processEventsUntil([&] { return counter.paints > 0; }));
    QRect progress = files()->visualRect(files()->model()->index(own->row, 3));
    EXPECT_TRUE(progress.contains(counter.painted.boundingRect()));
}

TEST_F(PaneTest, AConfigurationChangeThatRemovesAServerRemovesItsRow) {
    ASSERT_TRUE(processEventsUntil([&] { return clients()->model()->rowCount() == 2; }));
    EXPECT_EQ(cell(clients(), 0, 0), "127.0.0.1");
    EXPECT_EQ(cell(clients(), 1, 0), "localhost");
    EXPECT_EQ(cell(clients(), 0, 3), "disabled");

    profile::writeString("DEFAULT", "servers", "localhost;", CONFIG_INI);
    profile::writeInt("localhost", "hostid", 1, CONFIG_INI);
    std::thread([&] { model->handleCommandT(cmdConfigChanged, nullptr, nullptr); }).join();
    ASSERT_TRUE(processEventsUntil([&] { return clients()->model()->rowCount() == 1; }));
    EXPECT_EQ(cell(clients(), 0, 0), "localhost");

    // The remaining worker still reaches its row; the pane left the removed one.
    NNTPmodel_iface* worker = model->getclient(0);
    ASSERT_NE(worker, nullptr);
    std::thread([&] { worker->notify(updClientState, worker); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return cell(clients(), 0, 3) == "disabled"; }));
}

TEST_F(PaneTest, PriorityKeysAndThePostMenuSetEveryPriority) {
    std::vector<int> ids = showFirstPost();
    auto priority = [](int fid) {
        sqliteDB db;
        db.open("./data/articles.db");
        return column(db, ("SELECT queuPrio FROM queu WHERE queuFID=" + std::to_string(fid)).c_str());
    };
    click(files(), 0);
    for (int key = 0; key <= 9; ++key) {
        QTest::keyClick(files(), Qt::Key(Qt::Key_0 + key));
        EXPECT_EQ(priority(ids[0]), std::to_string(key)) << "key " << key;
    }
    // "0 highest" of the post popup reaches every file of the shown post.
    sendCommand(window.handle(), 32810);
    for (int fid : ids) EXPECT_EQ(priority(fid), "0");
    sendCommand(window.handle(), 32819);
    for (int fid : ids) EXPECT_EQ(priority(fid), "9");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
