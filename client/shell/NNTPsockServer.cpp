#include "NNTPmodel.h"
#include "NNTPsock.h"
#include "articleSchema.h"
#include "controlReply.h"
#include "controlSocket.h"
#include "detachedProcess.h"
#include "postNotifier.h"
#include "profile.h"
#include "trayIcon.h"
#include "uiThread.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

const auto kShutdownPause = std::chrono::milliseconds(500);
// One message must arrive whole within this time, so a slow or silent client cannot
// hold the serve loop.
const auto kMessageDeadline = std::chrono::seconds(2);

// From here on every log line of the process goes to ./debugnntp.txt, emptied at each
// start. Line by line, so the log can be watched while the program runs.
void logToFile() {
    if (!freopen("./debugnntp.txt", "wb", stdout))
        fprintf(stderr, "corvane: cannot write ./debugnntp.txt, running without a log\n");
    setvbuf(stdout, nullptr, _IOLBF, 0);
}

// Reads one control message: everything the sender sends before it closes, up to
// MAX_MESSAGE bytes, so a message split in transit is never cut. A message that is not
// whole by the deadline, or breaks off, is dropped: 0. `buffer` is zeroed and holds
// MAX_MESSAGE + 1 bytes.
int receiveMessage(int connection, char* buffer) {
    auto deadline = Clock::now() + kMessageDeadline;
    size_t total = 0;
    while (total < MAX_MESSAGE) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        int count = left.count() > 0
                        ? sock_recv(connection, buffer + total, MAX_MESSAGE - total, (int)left.count())
                        : 0;
        if (count > 0) {
            total += (size_t)count;
            continue;
        }
        if (count == 0 && Clock::now() < deadline) break; // the sender closed: complete
        printf("control: a message was not whole within 2 s (%zu bytes); dropped\n", total);
        return 0;
    }
    return (int)total;
}

// Only our own user may drive the instance; anyone else's connection is closed unread.
bool fromOurUser(int connection) {
    long peer = sock_peer_uid(connection);
    if (peer == (long)geteuid()) return true;
    printf("control: refused a connection of user %ld\n", peer);
    return false;
}

// A copy of the program, started without waiting, sends "h" back: the update check then
// runs on the serve loop once start-up is done.
void spawnUpdateCheck() {
    char path[1024] = {};
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return;
    printf("spawn: \"%s\" h\n", path);
    if (int error = spawnDetached({path, "h"})) printf("spawn failed: %d \n", error);
}

// The listener, for the stop signals: shutting it down ends the serve loop, and the
// ordinary shutdown saves the settings and closes the database.
volatile sig_atomic_t servingSocket = -1;

void stopServing(int) {
    if (servingSocket >= 0) shutdown(servingSocket, SHUT_RDWR);
}

void stopOnSignals(int listener) {
    servingSocket = listener;
    struct sigaction action {};
    action.sa_handler = stopServing;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int NNTPsockServer(int listener, const std::string& commandLine, bool autoloadWindow) {
    logToFile();
    // The window library needs the UI thread from the first "g" on.
    std::optional<UiThread> ui(std::in_place);
    auto model = std::make_unique<NNTPmodel>();
    std::unique_ptr<TrayIcon> tray;
    // Before the model starts: a post that resumes at start-up ends with a notice too.
    std::unique_ptr<postNotifier> notices;
    ui->runAndWait([&] {
        notices = std::make_unique<postNotifier>(
            model->getqueue(),
            [&tray](const QString& title, const QString& text) {
                return tray && tray->showMessage(title, text);
            });
    });
    model->initialize(listener);
    stopOnSignals(listener);

    if (!commandLine.empty()) NNTPsockHandler(model.get(), commandLine.c_str());
    if (autoloadWindow && profile::getInt("DEFAULT", "autoloadGUI", 1, CONFIG_INI) != 0)
        NNTPsockHandler(model.get(), "g");
    ui->runAndWait([&] { tray = std::make_unique<TrayIcon>(model.get()); });
    spawnUpdateCheck();
    fflush(stdout);

    while (model->controlSocket() != -1) {
        int connection = sock_accept(listener);
        if (connection < 0) break; // terminate closed the listener, or a stop signal
        char buffer[MAX_MESSAGE + 1] = {};
        if (fromOurUser(connection) && receiveMessage(connection, buffer) > 0)
            sendReply(connection, NNTPsockHandler(model.get(), buffer));
        sock_close(connection);
        fflush(stdout);
    }

    servingSocket = -1;
    std::this_thread::sleep_for(kShutdownPause);
    NNTPsockHandler(model.get(), "u");
    int exitCode = 0;
    if (model->controlSocket() != -1) exitCode = model->terminate();
    ui->runAndWait([&] {
        notices.reset();
        tray.reset();
    });
    printf("trayexit\n");
    ui.reset();
    std::this_thread::sleep_for(kShutdownPause);
    model.reset();
    fflush(stdout);
    return exitCode;
}
