// The post pane after the download: the stage a post is in, told by the queue's stage
// notification, and "Open folder" on the post's own folder. The stage is played by the
// test, which sets a post record's fields and notifies from a thread of its own, as the
// engine's stage thread does.
#include "PaneTest.h"
#include "RecordingXdgOpen.h"
#include "WaitUntil.h"
#include "WidgetWatcher.h"

#include <QAction>
#include <QImage>
#include <QMenu>

#include <cstring>
#include <map>
#include <string>

namespace {

class PostStageTest : public PaneTest {
  protected:
    tpost* record(int row) { return model->getqueue()->qpost(window.postPane().postIds()[row]); }

    // Sets the stage of the post in `row` and notifies from an engine-like thread.
    void stage(int row, int code, int percent = 0, const char* note = "",
               const std::string& folder = "") {
        tpost* post = record(row);
        ASSERT_NE(post, nullptr);
        post->ppStage = code;
        post->ppPercent = percent;
        snprintf(post->ppNote, sizeof post->ppNote, "%s", note);
        snprintf(post->ppFolder, sizeof post->ppFolder, "%s", folder.c_str());
        std::thread([&] { model->getqueue()->notify(updPostStage, post); }).join();
    }

    QString progressText(int row) { return cell(posts(), row, 1); }
    bool failed(int row) {
        return posts()->model()->index(row, 1).data(ListViewModel::FailedRole).toBool();
    }
    // The colour of the bar's filled part at the left end of the post's progress cell.
    QColor barColour(int row) {
        const QRect rect = posts()->visualRect(posts()->model()->index(row, 1));
        const QImage shot = posts()->viewport()->grab().toImage();
        return shot.pixelColor(rect.left() + 4, rect.center().y());
    }

    // Right-clicks the post in `row` and reads the popup's entries (text: enabled);
    // `choose` is triggered when it is among them and enabled.
    std::map<QString, bool> postMenu(int row, const QString& choose = "") {
        std::map<QString, bool> entries;
        WidgetWatcher menu([] { return QApplication::activePopupWidget(); },
                           [&](QWidget* popup) {
                               QAction* chosen = nullptr;
                               for (QAction* entry : popup->findChildren<QAction*>()) {
                                   entries[entry->text()] = entry->isEnabled();
                                   if (entry->text() == choose && entry->isEnabled())
                                       chosen = entry;
                               }
                               popup->close();
                               if (chosen) chosen->trigger();
                           });
        const QRect rect = posts()->visualRect(posts()->model()->index(row, 0));
        QTest::mouseClick(posts()->viewport(), Qt::RightButton, {}, rect.center());
        EXPECT_EQ(menu.seen(), 1);
        return entries;
    }
};

TEST_F(PostStageTest, TheStageReplacesTheDownloadProgressAndAFailureShowsRed) {
    const QString downloading = progressText(0);
    ASSERT_TRUE(downloading.endsWith("left")) << downloading.toStdString();

    stage(0, ppUnpacking, 40, "");
    ASSERT_TRUE(processEventsUntil([&] { return progressText(0) == "unpacking 40 %"; }));
    EXPECT_EQ(progressOf(posts(), 0, 1), 400);
    EXPECT_FALSE(failed(0));

    // A percent beyond the scale still draws a bar within it.
    stage(0, ppRepairing, 250);
    ASSERT_TRUE(processEventsUntil([&] { return progressText(0) == "repairing 250 %"; }));
    EXPECT_EQ(progressOf(posts(), 0, 1), PROGRESS_FULL);

    stage(0, ppDone, 0, "no PAR2 set");
    stage(1, ppFailed, 0, "3 blocks missing, 1 available");
    ASSERT_TRUE(processEventsUntil([&] { return failed(1); }));
    EXPECT_EQ(progressText(0), "done (no PAR2 set)");
    EXPECT_EQ(progressText(1), "failed: 3 blocks missing, 1 available");
    EXPECT_EQ(progressOf(posts(), 0, 1), PROGRESS_FULL);
    EXPECT_EQ(progressOf(posts(), 1, 1), PROGRESS_FULL);
    EXPECT_FALSE(failed(0));
    EXPECT_FALSE(posts()->model()->index(1, 0).data(ListViewModel::FailedRole).toBool())
        << "only the progress column reports";

    // Both bars are full; only the failed one is drawn in the error colour.
    posts()->clearSelection();
    const QColor done = barColour(0), failure = barColour(1);
    EXPECT_GT(failure.red(), failure.blue() + 60) << failure.name().toStdString();
    EXPECT_NE(done.name(), failure.name());
    EXPECT_LT(done.red(), done.blue() + 60) << done.name().toStdString();

    // Back to no stage (the post is downloaded again): the download progress returns.
    stage(1, ppNone);
    stage(0, ppNone);
    ASSERT_TRUE(processEventsUntil([&] { return progressText(0) == downloading; }));
    EXPECT_FALSE(failed(1));
}

TEST_F(PostStageTest, AStageChangeRedrawsOnlyThatPostsProgressCell) {
    processEventsUntil([] { return false; }, 200); // the list settles after the start
    PaintCounter counter(posts()->viewport());
    tpost* second = record(1);
    second->ppStage = ppVerifying;
    // A record the queue does not hold (one removed meanwhile) redraws nothing.
    tpost stray;
    stray.ppStage = ppDone;
    std::thread([&] {
        model->getqueue()->notify(updPostStage, &stray);
        model->getqueue()->notify(updPostStage, second);
        model->getqueue()->notify(updPostStage, nullptr);
    }).join();
    ASSERT_TRUE(processEventsUntil([&] { return counter.paints > 0; }));
    const QRect progress = posts()->visualRect(posts()->model()->index(1, 1));
    EXPECT_TRUE(progress.contains(counter.painted.boundingRect()));
    EXPECT_EQ(progressText(1), "verifying");
}

TEST_F(PostStageTest, OpenFolderIsOfferedForAnExistingFolderAndOpensItExactly) {
    RecordingXdgOpen opener;
    // A name the shell would split or expand, had it been given one.
    const std::string folder = fs::absolute("download/My \"Post\" (2026) it's $HOME").string();

    EXPECT_FALSE(postMenu(0).at("Open folder")) << "no folder yet";
    stage(0, ppUnpacking, 10, "", folder);
    EXPECT_FALSE(postMenu(0).at("Open folder")) << "named, but not made yet";
    fs::create_directories(folder);
    stage(0, ppDone, 0, "", folder);
    EXPECT_FALSE(postMenu(1).at("Open folder")) << "the other post has none";

    std::map<QString, bool> entries = postMenu(0, "Open folder");
    EXPECT_TRUE(entries.at("Open folder"));
    EXPECT_TRUE(entries.at("Delete"));
    ASSERT_TRUE(waitUntil([&] { return !opener.calls().empty(); }));
    EXPECT_EQ(opener.calls(), std::vector<std::string>{folder + '\0'});
    EXPECT_EQ(posts()->itemCount(), 2) << "the entry opens, it removes nothing";

    // A folder removed while the menu was not open is not handed to the desktop.
    opener.clear();
    fs::remove_all(folder);
    posts()->selectRow(0);
    window.postPane().openFolder();
    processEventsUntil([] { return false; }, 200);
    EXPECT_TRUE(opener.calls().empty());
}

} // namespace
