// Writing a whole buffer to a descriptor: write() may take less than it was given.
#pragma once
#include <cstddef>

// Writes all `size` bytes of `data` to `fd`, going on after short writes and
// interruptions. 0 when everything was written, else the errno of the failed write
// (ENOSPC when the system took nothing without naming an error).
int writeAll(int fd, const char* data, std::size_t size);
