// Reading and replacing small files of the user's as a whole, so that a full disk or a
// crash never leaves one half written.
#pragma once
#include <string>

// Files larger than this are not read: they are no settings file of ours.
const size_t kWholeFileLimit = 4 << 20;

// Reads the whole file into `text`. Returns 0, or the errno of the step that failed
// (ENOENT when there is no such file, EISDIR for a folder, EINVAL for anything else that
// is no plain file, EFBIG past kWholeFileLimit); `text` is then empty.
int readWholeFile(const std::string& path, std::string& text);

// Writes `text` into a new file beside `path` and renames it over `path`. An existing
// file keeps its permissions; when `path` is a symbolic link the file it points to is
// replaced and the link stays. On failure the old file is untouched, the new one is
// removed, and the result is the errno of the step that failed; 0 on success.
int writeFileAtomically(const std::string& path, const std::string& text);
