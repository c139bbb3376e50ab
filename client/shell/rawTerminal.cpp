#include "rawTerminal.h"

#include <cerrno>
#include <unistd.h>

RawTerminal::RawTerminal(int fd) : fd(fd) {
    if (fd < 0 || !isatty(fd) || tcgetattr(fd, &saved) != 0) return;
    termios mode = saved;
    mode.c_lflag &= ~(ICANON | ECHO);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    raw = tcsetattr(fd, TCSANOW, &mode) == 0;
}

RawTerminal::~RawTerminal() {
    if (raw) tcsetattr(fd, TCSANOW, &saved);
}

int RawTerminal::readKey() {
    unsigned char key;
    ssize_t count;
    do {
        count = read(fd, &key, 1);
    } while (count < 0 && errno == EINTR);
    return count == 1 ? key : -1;
}
