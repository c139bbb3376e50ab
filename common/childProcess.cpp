#include "childProcess.h"

#include "execReport.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

const size_t kReadChunk = 4096;

// Starts the child with both output streams on `writeEnd`, SIGPIPE back at its default
// and the idle scheduling class. posix_spawn cannot ask for SCHED_IDLE, so this forks.
// Returns 0 or an errno.
int spawnChild(const std::vector<std::string>& arguments, int writeEnd, pid_t& pid) {
    std::vector<char*> argv = execArgv(arguments);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    pid = fork();
    if (pid < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (pid == 0) {
        sched_param priority{};
        if (sched_setscheduler(0, SCHED_IDLE, &priority) != 0) setpriority(PRIO_PROCESS, 0, 19);
        signal(SIGPIPE, SIG_DFL);
        dup2(writeEnd, STDOUT_FILENO);
        dup2(writeEnd, STDERR_FILENO);
        execOrReport(argv.data(), report[1]);
    }
    close(report[1]);
    int error = readExecReport(report[0]);
    if (error) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return error;
}

} // namespace

tchildRun runChild(const std::vector<std::string>& arguments) {
    tchildRun run;
    if (arguments.empty() || arguments[0].empty()) {
        run.error = ENOENT;
        return run;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        run.error = errno;
        return run;
    }
    pid_t pid = -1;
    int rc = spawnChild(arguments, pipeFds[1], pid);
    // Our copy of the write end goes at once, so the read below ends when the child's
    // copies are gone.
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        run.error = rc;
        return run;
    }

    char chunk[kReadChunk];
    for (;;) {
        ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(chunk, (size_t)n);
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            run.error = errno;
            return run;
        }
    }
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

bool isExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::string locateProgram(const std::string& name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (!folder.empty() && isExecutableFile(folder + "/" + name)) return folder + "/" + name;
    const char* path = getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string folder = list.substr(start, end - start);
        // An empty entry would mean the working folder; only named folders are searched.
        if (!folder.empty() && isExecutableFile(folder + "/" + name)) return folder + "/" + name;
        start = end + 1;
    }
    return "";
}
