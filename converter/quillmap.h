// Entry point of the converter library: turns one NZB file into an SQL script of one
// statement per line for the article database.
#pragma once

#define QUILLMAP_EXPORT __attribute__((visibility("default")))

extern "C" {

// Writes the import script for `nzb` to `script`. The post gets id postBase + 1 and its
// files fileBase + 1, fileBase + 2, ... in NZB order; callers pass the current maxima
// of the database. When the NZB cannot be read no script is left at `script`.
QUILLMAP_EXPORT void quillmap(const char* nzb, const char* script, int postBase, int fileBase);
}
