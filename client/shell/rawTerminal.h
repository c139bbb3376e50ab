// A terminal in raw mode (no line editing, no echo) while the object lives, for reading
// single keys.
#pragma once
#include <termios.h>

class RawTerminal {
  public:
    // Switches `fd` (which stays the caller's) to raw mode when it is a terminal.
    explicit RawTerminal(int fd);
    // Restores the mode found.
    ~RawTerminal();
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    // True when `fd` is a terminal now in raw mode.
    bool ok() const { return raw; }
    // One key's byte, or -1 at the end of input or on an error.
    int readKey();

  private:
    int fd;
    bool raw = false;
    termios saved{};
};
