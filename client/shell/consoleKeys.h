// The keyboard of the console: the controlling terminal of the process (not standard
// input or output, which are the log file in the running instance), in raw mode while
// the object lives. The mode found is put back when the object ends and also when the
// process exits with the object still alive (a console thread left waiting for a key),
// so the user's terminal is never left raw.
#pragma once
#include "rawTerminal.h"

#include <memory>

class ConsoleKeys {
  public:
    // Opens the controlling terminal; keys can be read only when it is there and this
    // process is its foreground job (a background job would be stopped by reading).
    ConsoleKeys();
    ~ConsoleKeys();
    ConsoleKeys(const ConsoleKeys&) = delete;
    ConsoleKeys& operator=(const ConsoleKeys&) = delete;

    // Null when keys can be read, else why not, for the log.
    const char* problem() const { return why; }
    // One key's code, or -1 when the terminal is gone.
    int readKey();
    // The terminal, for what the console shows; -1 when there is none.
    int screen() const { return fd; }

  private:
    int fd = -1;
    const char* why = nullptr;
    std::unique_ptr<RawTerminal> raw;
};
