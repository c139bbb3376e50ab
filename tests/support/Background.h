// A program a test runs beside itself, such as a display server, a tray host or a
// message bus.
#pragma once
#include "childProcess.h"
#include "execReport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

// A program found on PATH, running beside the test until the object goes; its output is
// dropped, or goes to `output` when given.
class Background {
  public:
    explicit Background(std::vector<std::string> arguments, int output = -1) {
        arguments[0] = locateProgram(arguments[0], {});
        std::vector<char*> argv = execArgv(arguments);
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            int sink = output >= 0 ? output : open("/dev/null", O_WRONLY);
            dup2(sink, STDOUT_FILENO);
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDERR_FILENO);
            execOrReport(argv.data(), report[1]);
        }
        close(report[1]);
        if (pid > 0 && readExecReport(report[0]) != 0) {
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    ~Background() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool running() const { return pid > 0; }

  private:
    pid_t pid = -1;
};
