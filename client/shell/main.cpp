// corvane: the first start becomes the running instance that owns the download engine
// and listens on the control socket of its program folder; every later start hands its
// command line to it.
#include "NNTPsock.h"
#include "XdgFolders.h"
#include "articleSchema.h"
#include "controlListener.h"
#include "controlPath.h"
#include "controlSocket.h"
#include "profile.h"
#include "programFolder.h"
#include "programOptions.h"
#include "rawTerminal.h"
#include "startupBoxes.h"
#include "startupFolders.h"
#include "stateFolder.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

// Several starts at once queue here while the instance handles a message.
const int kControlBacklog = 32;

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

// The control socket belongs to the program folder as entered, symbolic links resolved,
// so every way of naming one folder reaches the same instance.
ControlPath controlSocketOfThisFolder() {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error) return ControlPath{"", error.value(), "cannot tell the program folder"};
    return controlSocketPath(folder, geteuid());
}

// Runs this start as the running instance if it can claim the control socket, else as a
// messenger to the instance that holds it.
int runOrForward(const std::string& socketPath, const std::string& commandLine, bool noWindow) {
    ControlListener listener = claimControlSocket(socketPath, kControlBacklog);
    if (listener.fd < 0) {
        if (commandLine.empty() && noWindow) return 0; // no words, and no window asked for
        return NNTPsockClient(socketPath, commandLine.empty() ? "g" : commandLine);
    }
    int exitCode = 0;
    // "h" is the running instance's message to itself after its start. Finding the
    // socket free, this copy comes after that instance has ended: it must not become
    // a new instance nobody asked for.
    if (commandLine == "h ")
        sock_close(listener.fd);
    else
        exitCode = NNTPsockServer(listener.fd, commandLine, !noWindow);
    releaseControlSocket(socketPath, listener);
    return exitCode;
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

    ControlPath control = controlSocketOfThisFolder();
    int exitCode;
    if (control.path.empty()) {
        fprintf(stderr, "corvane: %s\n", control.problem.c_str());
        exitCode = control.error ? control.error : EACCES;
    } else
        exitCode = runOrForward(control.path, commandLine, options.noWindow);

    if (exitCode != 0) {
        printf("exitcode: %d  [press any key to exit] ", exitCode);
        fflush(stdout);
        if (isatty(STDIN_FILENO)) waitForKey();
    }
    return exitCode;
}
