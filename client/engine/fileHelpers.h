// File and folder helpers of the program start and the database upgrade.
#pragma once

// Reads `key` of `section` from ./config.ini (a blank value is replaced by `def` and
// written back) and tests that the folder exists. Returns 0 when it exists; when it
// does not and `create` is 1, the result of creating it (one level): 0 or -1;
// otherwise -1. `ini` is not used: the configuration file is always ./config.ini.
int folder_exists(const char* section, const char* key, const char* def, const char* ini,
                  int create);

// 0 when `path` exists, -1 when it does not.
int file_exists(const char* path);

// Creates or empties `path` and writes `length` characters of `data` to it.
// 0 on success, -1 when fewer were written, -2 when the file cannot be opened.
int file_create(const char* path, const char* data, unsigned length);

// Deletes every file that matches `pattern` (a folder, "/" and a name pattern such as
// "*.segm"), printing each path. When nothing matches it prints the "dirlist error"
// line and deletes nothing.
void removeM(const char* pattern);
