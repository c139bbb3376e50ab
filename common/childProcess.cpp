#include "childProcess.h"

#include "execReport.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace {

const size_t kReadChunk = 4096;
const int kStopPollMs = 100;
const size_t kMaxLine = 64 * 1024;

// Starts the child with both output streams on `writeEnd`, SIGPIPE back at its default
// and, at Idle, the idle scheduling class; a stoppable child leads a process group of its own, so
// a kill reaches what it started too. posix_spawn cannot ask for SCHED_IDLE, so this
// forks. Returns 0 or an errno.
int spawnChild(const std::vector<std::string>& arguments, int writeEnd, bool ownGroup,
               childPriority priority, pid_t& pid) {
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
        sched_param none{};
        if (priority == childPriority::Idle && sched_setscheduler(0, SCHED_IDLE, &none) != 0)
            setpriority(PRIO_PROCESS, 0, 19);
        if (ownGroup) {
            setpgid(0, 0);
            // A stoppable child ends with the program: a killed program's run would go on
            // and race the next start's run over the same files.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
        }
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

// True once the child's output has ended; false when `stop` turned true first.
bool readUntilEnd(int readEnd, const std::function<void(const char*, size_t)>& chunk,
                  const std::atomic<bool>* stop) {
    char buffer[kReadChunk];
    for (;;) {
        if (stop) {
            if (stop->load()) return false;
            pollfd wait{readEnd, POLLIN, 0};
            int ready = poll(&wait, 1, kStopPollMs);
            if (ready < 0 && errno != EINTR) return true;
            if (ready <= 0) continue;
        }
        ssize_t n = read(readEnd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        chunk(buffer, (size_t)n);
    }
}

// The one way every run goes: start, hand the output over in chunks, reap.
tchildRun runChunks(const std::vector<std::string>& arguments,
                    const std::function<void(const char*, size_t)>& chunk,
                    const std::atomic<bool>* stop, childPriority priority) {
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
    int rc = spawnChild(arguments, pipeFds[1], stop != nullptr, priority, pid);
    // Our copy of the write end goes at once, so the read below ends when the child's
    // copies are gone.
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        run.error = rc;
        return run;
    }
    if (!readUntilEnd(pipeFds[0], chunk, stop)) {
        kill(-pid, SIGKILL);
        run.stopped = true;
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

} // namespace

tchildRun runChild(const std::vector<std::string>& arguments) {
    std::string output;
    tchildRun run = runChunks(
        arguments, [&](const char* data, size_t size) { output.append(data, size); }, nullptr,
        childPriority::Idle);
    run.output = std::move(output);
    return run;
}

tchildRun runChildLines(const std::vector<std::string>& arguments,
                        const std::function<void(const std::string&)>& line,
                        const std::atomic<bool>* stop, childPriority priority) {
    std::string pending;
    tchildRun run = runChunks(
        arguments,
        [&](const char* data, size_t size) {
            for (size_t i = 0; i < size; ++i) {
                if (data[i] == '\n' || data[i] == '\r') {
                    line(pending);
                    pending.clear();
                    continue;
                }
                pending += data[i];
                if (pending.size() == kMaxLine) {
                    line(pending);
                    pending.clear();
                }
            }
        },
        stop, priority);
    if (!pending.empty() && !run.stopped) line(pending);
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
