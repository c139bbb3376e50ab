// The program folder: the folder of the running executable, where the tools find their
// libraries, plug-ins and helper programs (installed, those lie in a library folder
// beside it).
#pragma once
#include <string>
#include <vector>

// The folder of /proc/self/exe, without a trailing "/"; "." when it cannot be read.
std::string programFolder();

// The folder of the library or executable whose code holds `address`, for libraries
// that find their plug-ins and tools beside themselves (tests run executables from
// elsewhere); the program folder when it cannot be told.
std::string folderOf(const void* address);

// Where the programs' own libraries and tools are looked for, in order: the installed
// library folder (lib/corvane beside bin/), then the program folder itself.
std::vector<std::string> programFolders();

// The first of programFolders() that holds `name`, as a path; empty when none does.
std::string besideProgram(const std::string& name);
