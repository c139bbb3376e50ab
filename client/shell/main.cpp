// corvane: the first start becomes the running instance that owns the download engine
// and listens on the control port; every later start hands its command line to it.
#include "NNTPsock.h"
#include "controlSocket.h"
#include "programFolder.h"
#include "rawTerminal.h"
#include "startupBoxes.h"
#include "startupFolders.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

// Every path of the program is relative to its folder: CORVANE_HOME when set (tests, the
// demo, a second installation), else the folder of the executable.
bool enterProgramFolder() {
    const char* home = getenv("CORVANE_HOME");
    std::string folder = home && *home ? home : programFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (chdir(folder.c_str()) == 0) return true;
    fprintf(stderr, "corvane: cannot enter the program folder %s\n", folder.c_str());
    return false;
}

// Lets the user read a failure before the window of a started program closes; only
// someone at a terminal can press a key.
void waitForKey() {
    RawTerminal terminal(STDIN_FILENO);
    if (terminal.ok()) terminal.readKey();
}

} // namespace

int main(int argc, char** argv) {
    // Without a display (or with one that does not answer) Qt would abort the process;
    // it falls back to the offscreen platform instead, and the instance runs without tray.
    setenv("QT_QPA_PLATFORM", "xcb;offscreen", 0);
    signal(SIGPIPE, SIG_IGN);
    if (!enterProgramFolder()) return 1;
    std::string commandLine = joinCommandLine(argc, argv);
    startupBoxes::install();
    const bool ready = prepareFolders();
    startupBoxes::uninstall();
    if (!ready) return 1;

    int exitCode;
    int listener = sock_listen(CONTROL_PORT, 1);
    if (listener >= 0 && commandLine == "h ") {
        // "h" is the running instance's message to itself after its start. Finding the
        // port free, this copy comes after that instance has ended: it must not become
        // a new instance nobody asked for.
        sock_close(listener);
        exitCode = 0;
    } else if (listener >= 0)
        exitCode = NNTPsockServer(listener, commandLine);
    else
        exitCode = NNTPsockClient(commandLine.empty() ? "g" : commandLine);

    if (exitCode != 0) {
        printf("exitcode: %d  [press any key to exit] ", exitCode);
        fflush(stdout);
        if (isatty(STDIN_FILENO)) waitForKey();
    }
    return exitCode;
}
