// Entry point of the converter library: turns one NZB file (plain or gzip-compressed)
// into an SQL script of one statement per line for the article database.
#pragma once

#include <cstddef>

#define QUILLMAP_EXPORT __attribute__((visibility("default")))

extern "C" {

// Writes the import script for `nzb` to `script`. The post gets id postBase + 1 and its
// files fileBase + 1, fileBase + 2, ... in NZB order; callers pass the current maxima
// of the database. When the NZB yields no file with a segment (unreadable, not an NZB,
// refused) no script is left at `script` and the log says why in one line.
QUILLMAP_EXPORT void quillmap(const char* nzb, const char* script, int postBase, int fileBase);

// quillmap for callers that pass the failure on: 0 when a script was written, else -1
// with that log line (no line feed) in `why`, `size` bytes with the terminator.
QUILLMAP_EXPORT int quillmapChecked(const char* nzb, const char* script, int postBase, int fileBase,
                                    char* why, std::size_t size);
}
