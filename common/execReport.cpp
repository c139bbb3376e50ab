#include "execReport.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

std::vector<char*> execArgv(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

void execOrReport(char* const* argv, int report) {
    int input = open("/dev/null", O_RDONLY);
    if (input >= 0 && input != STDIN_FILENO) {
        dup2(input, STDIN_FILENO);
        close(input);
    }
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(argv[0], argv, environ);
    int error = errno;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

int readExecReport(int readEnd) {
    int error = 0;
    ssize_t n;
    while ((n = read(readEnd, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(readEnd);
    return n == (ssize_t)sizeof error ? error : 0;
}
