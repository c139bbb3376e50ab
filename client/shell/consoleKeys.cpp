#include "consoleKeys.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal mode to put back if the process exits while a console is raw.
struct ExitRestore {
    std::mutex lock;
    int fd = -1;
    termios mode{};
};

ExitRestore& exitRestore() {
    static ExitRestore* record = new ExitRestore; // outlives every exit handler
    return *record;
}

void restoreAtExit() {
    ExitRestore& record = exitRestore();
    std::lock_guard<std::mutex> guard(record.lock);
    if (record.fd < 0) return;
    // A job moved to the background meanwhile is not stopped for putting the mode back.
    sigset_t quiet, previous;
    sigemptyset(&quiet);
    sigaddset(&quiet, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &quiet, &previous);
    tcsetattr(record.fd, TCSANOW, &record.mode);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    record.fd = -1;
}

void rememberForExit(int fd, const termios& mode) {
    static std::once_flag registered;
    std::call_once(registered, [] { atexit(restoreAtExit); });
    ExitRestore& record = exitRestore();
    std::lock_guard<std::mutex> guard(record.lock);
    record.fd = fd;
    record.mode = mode;
}

void forgetForExit() {
    ExitRestore& record = exitRestore();
    std::lock_guard<std::mutex> guard(record.lock);
    record.fd = -1;
}

} // namespace

ConsoleKeys::ConsoleKeys() {
    fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios found{};
    if (fd < 0) {
        why = "no controlling terminal";
    } else if (tcgetpgrp(fd) != getpgrp()) {
        why = "the terminal belongs to another job";
    } else if (tcgetattr(fd, &found) != 0) {
        why = "the terminal mode cannot be read";
    } else {
        rememberForExit(fd, found);
        raw = std::make_unique<RawTerminal>(fd);
        if (!raw->ok()) why = "the terminal cannot be switched to single keys";
    }
}

ConsoleKeys::~ConsoleKeys() {
    raw.reset();
    forgetForExit();
    if (fd >= 0) close(fd);
}

int ConsoleKeys::readKey() {
    return why ? -1 : raw->readKey();
}
