// The running instance's UI thread in this process, on Qt's offscreen platform: the
// event loop outlives closed windows, message boxes reach it from any thread, and the
// tray's Exit leaves it free while the model ends.
#include "NNTPmodel_iface.h"
#include "msgbox.h"
#include "trayIcon.h"
#include "uiMessageBox.h"
#include "uiThread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const auto kPoll = std::chrono::milliseconds(20);
const auto kLimit = std::chrono::seconds(20);

// One UI thread per process, as in the program, ended before the process exits (as the
// program ends it before main returns).
std::unique_ptr<UiThread> uiThread;

class UiThreadEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        uiThread = std::make_unique<UiThread>();
    }
    void TearDown() override { uiThread.reset(); }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new UiThreadEnvironment);

UiThread& ui() {
    return *uiThread;
}

std::thread::id uiThreadId() {
    std::thread::id id;
    ui().runAndWait([&] { id = std::this_thread::get_id(); });
    return id;
}

// What a box showed, and the button that answered it.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hadYesAndNo = false;
};

// Waits on a thread of its own for the next message box and presses `button` in it.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(QMessageBox::StandardButton button)
        : worker([this, button] { answer(button); }) {}
    ~BoxAnswerer() {
        if (worker.joinable()) worker.join();
    }
    SeenBox result() {
        if (worker.joinable()) worker.join();
        return box;
    }

  private:
    void answer(QMessageBox::StandardButton button) {
        auto deadline = std::chrono::steady_clock::now() + kLimit;
        while (!box.seen && std::chrono::steady_clock::now() < deadline) {
            ui().runAndWait([&] {
                auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!open) return;
                box = {true, open->windowTitle(), open->text(), open->icon(),
                       open->button(QMessageBox::Yes) && open->button(QMessageBox::No)};
                open->button(button)->click();
            });
            if (!box.seen) std::this_thread::sleep_for(kPoll);
        }
    }

    SeenBox box;
    std::thread worker;
};

// A model that only notes the commands it is sent and the thread they run on.
class CommandRecorder : public NNTPmodel_iface {
  public:
    void handleCommandT(unsigned cmd, void*, void*) override {
        std::lock_guard<std::mutex> guard(lock);
        received = cmd;
        thread = std::this_thread::get_id();
        arrived.notify_all();
    }
    // The command that arrived, or 0 when none came in time.
    unsigned waitForCommand() {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait_for(guard, kLimit, [this] { return received != 0; });
        return received;
    }

    std::mutex lock;
    std::condition_variable arrived;
    unsigned received = 0;
    std::thread::id thread;
};

TEST(UiThread, ClosingTheLastWindowLeavesTheEventLoopRunning) {
    ui().runAndWait([] {
        auto* window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->close();
    });
    // A queued call still runs: the loop did not end with the window.
    std::atomic<bool> ran{false};
    QMetaObject::invokeMethod(
        qApp, [&] { ran = true; }, Qt::QueuedConnection);
    auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (!ran && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPoll);
    EXPECT_TRUE(ran);
}

TEST(UiThread, MessageBoxesAreShownOnItFromEveryThreadAndAnswered) {
    uiMessageBox::install();
    {
        BoxAnswerer answerer(QMessageBox::Yes);
        EXPECT_EQ(
            msgbox::show("Run the update script?", "Update", msgbox::YESNO | msgbox::ICONQUESTION),
            msgbox::IDYES);
        SeenBox box = answerer.result();
        ASSERT_TRUE(box.seen);
        EXPECT_EQ(box.title, "Update");
        EXPECT_EQ(box.text, "Run the update script?");
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_TRUE(box.hadYesAndNo);
    }
    {
        // Asked on the UI thread itself, the box is shown there directly.
        BoxAnswerer answerer(QMessageBox::No);
        int answer = 0;
        ui().runAndWait([&] { answer = msgbox::show("Reset?", "Question", msgbox::YESNO); });
        EXPECT_EQ(answer, msgbox::IDNO);
        EXPECT_TRUE(answerer.result().seen);
    }
    {
        BoxAnswerer answerer(QMessageBox::Ok);
        EXPECT_EQ(
            msgbox::show("Unable to create base folders", "Configuration Error", msgbox::ICONERROR),
            msgbox::IDOK);
        SeenBox box = answerer.result();
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_FALSE(box.hadYesAndNo);
    }
    uiMessageBox::uninstall();
}

TEST(UiThread, TrayExitEndsTheModelOnACommandThreadOfItsOwn) {
    CommandRecorder model;
    std::unique_ptr<TrayIcon> tray;
    // Offscreen there is no notification area: the icon waits for one.
    ui().runAndWait([&] { tray = std::make_unique<TrayIcon>(&model); });
    ui().runAndWait([&] { tray->command(TrayIcon::menuExit); });
    EXPECT_EQ(model.waitForCommand(), (unsigned)cmdTerminate);
    EXPECT_NE(model.thread, uiThreadId());
    EXPECT_NE(model.thread, std::this_thread::get_id());
    ui().runAndWait([&] { tray.reset(); });
}

} // namespace
