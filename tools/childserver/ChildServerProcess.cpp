#include "ChildServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace {
const int kStartSeconds = 10;
}

ChildServerProcess::ChildServerProcess(const std::string& programName,
                                       const std::vector<std::string>& arguments) {
    std::string program = std::string(CORV_BIN_DIR) + "/" + programName;
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> copies(arguments);
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        fprintf(stderr, "cannot start %s: error %d\n", program.c_str(), rc);
        pid = -1;
        close(out[0]);
        return;
    }

    // Only the first line is read; the servers write nothing else to standard output.
    std::string line;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[64];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, (size_t)n);
    }
    close(out[0]);
    if (sscanf(line.c_str(), "port %d", &listenPort) != 1 || listenPort <= 0) {
        fprintf(stderr, "%s did not report its port\n", programName.c_str());
        listenPort = 0;
        stop();
    }
}

ChildServerProcess::~ChildServerProcess() {
    stop();
}

bool ChildServerProcess::stop() {
    if (pid <= 0) return false;
    kill(pid, SIGTERM);
    int status = 0;
    // Bounded: after 5 s of waiting the server is killed outright.
    for (int i = 0; i < 250; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
    return false;
}
