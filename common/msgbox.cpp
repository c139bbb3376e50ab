#include "msgbox.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace msgbox {
namespace {

std::atomic<Handler> currentHandler{nullptr};

// Reads one answer line from the controlling terminal; false when there is none.
bool askTerminal(const char* prompt, char& answer) {
    if (!isatty(STDIN_FILENO)) return false;
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0) return false;
    (void)!write(tty, prompt, __builtin_strlen(prompt));
    char buf[64];
    ssize_t n = read(tty, buf, sizeof buf);
    close(tty);
    if (n <= 0) return false;
    answer = (char)tolower((unsigned char)buf[0]);
    return true;
}

int consoleBox(const char* text, const char* title, unsigned flags) {
    fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
    fflush(stderr);
    if ((flags & 0xf) != YESNO) return IDOK;
    char answer = 0;
    if (!askTerminal("[y/N] ", answer)) return IDNO;
    return answer == 'y' ? IDYES : IDNO;
}

} // namespace

int show(const char* text, const char* title, unsigned flags) {
    Handler handler = currentHandler.load();
    return handler ? handler(text, title, flags) : consoleBox(text, title, flags);
}

void setHandler(Handler handler) {
    currentHandler.store(handler);
}

} // namespace msgbox
