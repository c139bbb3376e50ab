#include "detachedProcess.h"

#include "childProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

// Between fork and exec only async-signal-safe calls are made: the caller may have
// other threads holding locks.
[[noreturn]] void execGrandchild(char* const* argv, int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) ::signal(signal, SIG_DFL);
    int input = open("/dev/null", O_RDONLY);
    if (input >= 0 && input != STDIN_FILENO) {
        dup2(input, STDIN_FILENO);
        close(input);
    }
    // Sockets and database files the caller opened without close-on-exec are not handed on.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(argv[0], argv, environ);
    int error = errno;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

} // namespace

int spawnDetached(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0].empty()) return ENOENT;
    const std::string program = arguments[0].find('/') == std::string::npos
                                    ? locateProgram(arguments[0], {})
                                    : arguments[0];
    if (program.empty()) return ENOENT;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (size_t i = 1; i < arguments.size(); ++i)
        argv.push_back(const_cast<char*>(arguments[i].c_str()));
    argv.push_back(nullptr);

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
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    return n == (ssize_t)sizeof error ? error : 0;
}
