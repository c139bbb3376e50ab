// corvane: the first start becomes the running instance that owns the download engine
// and listens on the control port; every later start hands its command line to it.
#include "NNTPsock.h"
#include "XdgFolders.h"
#include "articleSchema.h"
#include "controlSocket.h"
#include "profile.h"
#include "programFolder.h"
#include "programOptions.h"
#include "rawTerminal.h"
#include "startupBoxes.h"
#include "startupFolders.h"
#include "stateFolder.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

// Every path of the program is relative to its state folder: CORVANE_HOME when set
// (tests, the demo, a second installation), the folder of the executable in a build
// tree, else the user's $XDG_DATA_HOME/corvane, made at the first start.
bool enterProgramFolder() {
    const tstateFolder state = locateStateFolder("CORVANE_HOME", "corvane", programFolder());
    if (state.path.empty()) {
        fprintf(stderr, "corvane: no folder for my files: set HOME or CORVANE_HOME\n");
        return false;
    }
    std::error_code ignored;
    // config.ini holds the news server passwords: a folder made for the user is theirs alone.
    if (std::filesystem::create_directories(state.path, ignored) && state.perUser)
        std::filesystem::permissions(state.path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ignored);
    if (chdir(state.path.c_str()) != 0) {
        fprintf(stderr, "corvane: cannot enter the program folder %s\n", state.path.c_str());
        return false;
    }
    // An installed program downloads into the user's download folder unless told otherwise.
    if (state.perUser && profile::getString("DEFAULT", "downloadto", "", CONFIG_INI).empty()) {
        const std::string downloads = userDownloadFolder();
        if (!downloads.empty())
            profile::writeString("DEFAULT", "downloadto", downloads.c_str(), CONFIG_INI);
    }
    return true;
}

// Lets the user read a failure before the window of a started program closes; only
// someone at a terminal can press a key.
void waitForKey() {
    RawTerminal terminal(STDIN_FILENO);
    if (terminal.ok()) terminal.readKey();
}

} // namespace

int main(int argc, char** argv) {
    const tprogramOptions options = parseProgramOptions(argc, argv);
    if (!options.error.empty()) {
        fprintf(stderr, "corvane: %s\n", options.error.c_str());
        return 2;
    }
    if (options.help || options.version) {
        printf("%s", options.help ? programUsage() : "corvane " CORV_VERSION "\n");
        return 0;
    }
    // Without a display (or with one that does not answer) Qt would abort the process;
    // it falls back to the offscreen platform instead, and the instance runs without tray.
    setenv("QT_QPA_PLATFORM", "xcb;offscreen", 0);
    signal(SIGPIPE, SIG_IGN);
    if (!enterProgramFolder()) return 1;
    std::string commandLine = joinCommandLine(options.arguments);
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
        exitCode = NNTPsockServer(listener, commandLine, !options.noWindow);
    else if (commandLine.empty() && options.noWindow)
        exitCode = 0; // no words to hand over, and the window was not asked for
    else
        exitCode = NNTPsockClient(commandLine.empty() ? "g" : commandLine);

    if (exitCode != 0) {
        printf("exitcode: %d  [press any key to exit] ", exitCode);
        fflush(stdout);
        if (isatty(STDIN_FILENO)) waitForKey();
    }
    return exitCode;
}
