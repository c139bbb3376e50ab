#include "detachedProcess.h"

#include "childProcess.h"
#include "execReport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Between fork and exec only async-signal-safe calls are made: the caller may have
// other threads holding locks.
[[noreturn]] void execGrandchild(char* const* argv, int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) ::signal(signal, SIG_DFL);
    execOrReport(argv, report);
}

} // namespace

int spawnDetached(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0].empty()) return ENOENT;
    const std::string program = arguments[0].find('/') == std::string::npos
                                    ? locateProgram(arguments[0], {})
                                    : arguments[0];
    if (program.empty()) return ENOENT;
    std::vector<char*> argv = execArgv(arguments);
    argv[0] = const_cast<char*>(program.c_str());

    // The grandchild reports a failed exec here; a successful exec closes the pipe.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    pid_t middle = fork();
    if (middle < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (middle == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) execGrandchild(argv.data(), report[1]);
        if (grandchild < 0) {
            int error = errno;
            ssize_t ignored = write(report[1], &error, sizeof error);
            (void)ignored;
        }
        _exit(0);
    }
    close(report[1]);
    int status;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return readExecReport(report[0]);
}
