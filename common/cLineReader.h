// Reads a file line by line into a fixed buffer. A line that does not fit is consumed
// whole and reported as cut, so its tail never passes for a line of its own.
#pragma once

#include <cstddef>
#include <cstdio>

class cLineReader {
  public:
    // `file` stays owned by the caller.
    explicit cLineReader(std::FILE* file) : file(file) {}

    // Reads the next line, line feed included, into `line` (`size` characters with the
    // terminator). `length` counts the characters stored, NUL bytes included. Returns
    // false at end of file. `cut` tells that the line was longer than the buffer.
    bool next(char* line, std::size_t size, std::size_t& length, bool& cut);

  private:
    std::FILE* file;
};
