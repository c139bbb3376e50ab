// The post, file and server panes in a real main window over a real download model: a
// temporary article database with two imported posts, and two servers whose workers
// stay disabled, so nothing leaves the machine.
#include "PaneTest.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

#include <chrono>
#include <cstdlib>

using namespace std::chrono_literals;

namespace {

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

// Names and subjects are UTF-8 from the NZB to the screen: CJK text shows as typed,
// in the lists and in the labels.
TEST_F(PaneTest, Utf8TextsShowAsTyped) {
    writeFile("\u5199\u771f.nzb",
              "<nzb><file poster=\"p\" date=\"1765000000\" subject=\"&quot;\u6771\u4eac"
              "\u30bf\u30ef\u30fc.jpg&quot; \u591c\u666f (1/1)\"><groups><group>a.b.c</group>"
              "</groups><segments><segment bytes=\"10\" number=\"1\">m@x</segment></segments>"
              "</file></nzb>");
    ASSERT_EQ(model->addnzb("./\u5199\u771f.nzb"), 0);
    model->handleCommandT(cmdReload, asData(1), nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return posts()->itemCount() == 3; }));
    int row = -1;
    for (int i = 0; i < 3; ++i)
        if (cell(posts(), i, 0).contains(QString::fromUtf8("\u5199\u771f.nzb"))) row = i;
    ASSERT_GE(row, 0);
    click(posts(), row);
    ASSERT_TRUE(processEventsUntil([&] { return files()->itemCount() == 1; }));
    EXPECT_TRUE(
        cell(files(), 0, 0).contains(QString::fromUtf8("\u6771\u4eac\u30bf\u30ef\u30fc.jpg")))
        << cell(files(), 0, 0).toStdString();
    EXPECT_EQ(label(IDC_FILESUBJECT),
              QString::fromUtf8("\"\u6771\u4eac\u30bf\u30ef\u30fc.jpg\" \u591c\u666f (1/1)"));
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

TEST_F(PaneTest, AnEncryptedServerShowsALockAndAFailedConnectItsReason) {
    profile::writeInt("localhost", "hostssl", 1, CONFIG_INI);
    std::thread([&] { model->handleCommandT(cmdConfigChanged, nullptr, nullptr); }).join();
    const QString lock = QString::fromUtf8("\xF0\x9F\x94\x92 ");
    ASSERT_TRUE(processEventsUntil([&] { return cell(clients(), 1, 0) == lock + "localhost"; }));
    EXPECT_EQ(cell(clients(), 0, 0), "127.0.0.1");

    // A worker that went idle because its server's certificate was refused.
    struct RefusedWorker : NNTPmodel_iface {
        int cindex() override { return 1; }
        int cstate() override { return csIdle; }
        const char* cfailure() override { return "TLS: expired"; }
    } refused;
    std::thread([&] { window.clientPane().update(updClientState, &refused); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return cell(clients(), 1, 3) == "idle - TLS: expired"; }));
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

// The tip a user gets by resting the pointer on the cell.
QString tipOf(cListView* list, int row, int column) {
    QToolTip::hideText();
    const QPoint at = list->visualRect(list->model()->index(row, column)).center();
    QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &help);
    return QToolTip::text();
}

TEST_F(PaneTest, CutCellsTipTheirWholeTextAndSizesCarryTheirUnit) {
    showFirstPost();
    files()->setColumnWidth(0, 12);
    EXPECT_EQ(tipOf(files(), 0, 0), "a.bin");
    clients()->setColumnWidth(0, 12);
    EXPECT_EQ(tipOf(clients(), 1, 0), "localhost");
    posts()->setColumnWidth(0, 12);
    EXPECT_TRUE(tipOf(posts(), 0, 0).contains("first"));

    // 1000 bytes, a little more encoded.
    EXPECT_TRUE(QRegularExpression("^1(\\.\\d)? KB$").match(cell(files(), 0, 2)).hasMatch())
        << cell(files(), 0, 2).toStdString();
}

TEST_F(PaneTest, ProgressColumnsDrawBarsForFilesAndPosts) {
    showFirstPost();
    EXPECT_EQ(cell(files(), 0, 3), "0/1 (1)");
    EXPECT_EQ(progressOf(files(), 0, 3), 0);
    EXPECT_EQ(progressOf(files(), 0, 2), -1) << "no bar beside the progress column";
    // Three queued files of a little over 1 KB each, nothing fetched.
    EXPECT_TRUE(
        QRegularExpression("^0%, [34](\\.\\d)? KB left$").match(cell(posts(), 0, 1)).hasMatch())
        << cell(posts(), 0, 1).toStdString();
    EXPECT_EQ(progressOf(posts(), 0, 1), 0);
    EXPECT_EQ(progressOf(posts(), 0, 0), -1);

    // The speed in the status bar brings the time the queue still takes.
    std::thread([&] { model->getqueue()->notify(updSpeed, asData(0)); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return window.statusText(1) == "--:-- left"; }));
    std::vector<int> ids = window.filePane().fileIds();
    model->getqueue()->handleCommandT(cmdFileUnqueue, &ids, nullptr);
    std::thread([&] { model->getqueue()->notify(updSpeed, asData(5)); }).join();
    EXPECT_TRUE(processEventsUntil([&] { return window.statusText(0) == "~5 KB/s"; }));
    // Only the second post's file of about 1 KB is still queued: one second at 5 KB/s.
    EXPECT_EQ(window.statusText(1), "0:01 left");
    EXPECT_TRUE(window.statusText(2).endsWith("KB to fetch"));
}

TEST_F(PaneTest, ColumnsFitTheirContentUntilTheUserSetsWidths) {
    showFirstPost();
    processEventsUntil([] { return false; }, 100);
    const QFontMetrics metrics(files()->font());
    const int subject = files()->columnWidth(0);
    EXPECT_GE(subject, metrics.horizontalAdvance("a.bin") + 16);
    EXPECT_LT(subject, 500) << "fitted, not the wide default";
    EXPECT_GE(files()->columnWidth(3), 100);
    ASSERT_TRUE(processEventsUntil([&] { return clients()->model()->rowCount() == 2; }));
    processEventsUntil([] { return false; }, 100);
    EXPECT_GE(clients()->columnWidth(0), metrics.horizontalAdvance("localhost") + 16);
    EXPECT_GE(clients()->columnWidth(1), 60) << "room for the speeds to come";
    EXPECT_GE(clients()->columnWidth(3), 500) << "room for the article ids";
    // The post column takes what the progress column leaves, whatever the pane's width.
    for (int width : {200, 400}) {
        cWnd::sendMessage(window.innerSplitter().handle(), WM_NOTIFY_TRACKBAR, 0, width);
        processEventsUntil([] { return false; }, 50);
        ASSERT_EQ(window.postPane().handle()->width(), width);
        EXPECT_EQ(posts()->columnWidth(0) + posts()->columnWidth(1), posts()->viewport()->width());
    }
    EXPECT_EQ(profile::getString("USERINTERFACE", "hdrfiles", "", CONFIG_INI), "")
        << "a fit is no choice of the user's";

    files()->header()->resizeSection(0, 333);
    EXPECT_EQ(profile::getString("USERINTERFACE", "hdrfiles", "", CONFIG_INI).substr(0, 4), "333;");
}

// Two connections to our news server, each answer 100 ms late so the download is
// steady for longer than one speed measurement.
class DownloadPaneTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        ASSERT_EQ(createSchemaFile(), 0);
        fs::create_directories("spool");
        fs::create_directories("download");
        for (const char* name : {"one.bin", "two.bin"})
            writeRandomFile(name, 80 * 20000, 7);
        PostOptions options;
        options.spool = "spool";
        options.nzb = "post.nzb";
        options.subject = "steady";
        options.partSize = 20000;
        makePost({"one.bin", "two.bin"}, options);
        news = std::make_unique<TestNewsServerProcess>(
            std::vector<std::string>{"--spool", "spool", "--delay", "100", "--lifetime", "120"});
        ASSERT_GT(news->port(), 0);
        std::error_code ignored;
        fs::create_symlink(CORV_BIN_DIR "/yydecode", "yydecode", ignored);
        profile::writeString("DEFAULT", "servers", "127.0.0.1;", CONFIG_INI);
        profile::writeString("DEFAULT", "downloadto", "./download", CONFIG_INI);
        profile::writeString("127.0.0.1", "hostname", "127.0.0.1", CONFIG_INI);
        profile::writeInt("127.0.0.1", "hostport", news->port(), CONFIG_INI);
        profile::writeInt("127.0.0.1", "hostid", 1, CONFIG_INI);
        profile::writeInt("127.0.0.1", "maxconnection", 2, CONFIG_INI);
        profile::writeInt("127.0.0.1", "numactive", 2, CONFIG_INI);

        tworkerTimes times;
        times.idleWait = 100ms;
        model = std::make_unique<NNTPmodel>(times);
        model->initialize(-1);
        ASSERT_EQ(window.create(nullptr), 0);
        window.setmodel(model.get());
        window.handle()->show();
        ASSERT_EQ(model->addnzb("./post.nzb"), 0);
        std::thread([&] { model->handleCommandT(cmdReload, asData(1), nullptr); }).join();
        ASSERT_TRUE(processEventsUntil([&] { return posts()->itemCount() == 1; }));
        posts()->selectRow(0);
        sendCommand(window.handle(), IDM_SHOWPOST, 0, window.postPane().postIds()[0]);
        ASSERT_TRUE(processEventsUntil([&] { return files()->itemCount() == 2; }));
    }
    void TearDown() override {
        window.setmodel(nullptr);
        model->terminate();
        model.reset();
        ProgramFolder::TearDown();
    }

    cListView* posts() { return window.postPane().listView(); }
    cListView* files() { return window.filePane().listView(); }
    QString cell(cListView* list, int row, int column) {
        return list->model()->index(row, column).data().toString();
    }
    bool allDecoded() {
        for (int fid : window.filePane().fileIds()) {
            tfile* file = model->getqueue()->qfile(fid);
            if (!file || file->fileState != fsDecoded) return false;
        }
        return true;
    }

    std::unique_ptr<TestNewsServerProcess> news;
    std::unique_ptr<NNTPmodel> model;
    cWndMain window;
};

TEST_F(DownloadPaneTest, ConnectionSpeedsAddUpToTheStatusBarAndDecodedFilesReadComplete) {
    cListView* servers = window.clientPane().listView();
    ASSERT_TRUE(processEventsUntil([&] { return servers->model()->rowCount() == 2; }));
    int total = 0, connections = 0;
    auto measured = [&] {
        total = window.statusText(0).mid(1).section(' ', 0, 0).toInt();
        connections = cell(servers, 0, 1).toInt() + cell(servers, 1, 1).toInt();
        return total > 0 && connections > 0 && std::abs(connections - total) * 10 <= total;
    };
    EXPECT_TRUE(processEventsUntil(measured, 20000))
        << "status bar " << total << " KB/s, connections " << connections << " KB/s";
    EXPECT_TRUE(window.statusText(1).endsWith(" left")) << window.statusText(1).toStdString();

    ASSERT_TRUE(processEventsUntil([&] { return allDecoded(); }, 60000));
    for (int reload = 0; reload < 2; ++reload) {
        SCOPED_TRACE(reload ? "after a reload" : "as decoded");
        EXPECT_TRUE(processEventsUntil([&] { return cell(files(), 0, 3) == "80/80 (80)"; }));
        EXPECT_EQ(cell(files(), 1, 3), "80/80 (80)");
        EXPECT_EQ(progressOf(files(), 1, 3), PROGRESS_FULL);
        // The post-processing that follows (two plain files) ends at once; its stage
        // outlives the reload.
        EXPECT_TRUE(
            processEventsUntil([&] { return cell(posts(), 0, 1) == "done (no PAR2 set)"; }));
        EXPECT_EQ(progressOf(posts(), 0, 1), PROGRESS_FULL);
        // Decoded segments are deleted: a reload finds none of them.
        std::thread([&] { model->handleCommandT(cmdReload, asData(1), nullptr); }).join();
        ASSERT_TRUE(processEventsUntil([&] { return files()->itemCount() == 2; }));
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
