// The program folder: the folder of the running executable, where the tools keep their
// files and find their libraries, plug-ins and helper programs.
#pragma once
#include <string>

// The folder of /proc/self/exe, without a trailing "/"; "." when it cannot be read.
std::string programFolder();

// The folder of the library or executable whose code holds `address`, for libraries
// that find their plug-ins and tools beside themselves (tests run executables from
// elsewhere); the program folder when it cannot be told.
std::string folderOf(const void* address);
