// The program folder: the folder of the running executable, where the tools keep their
// files and find their libraries, plug-ins and helper programs.
#pragma once
#include <string>

// The folder of /proc/self/exe, without a trailing "/"; "." when it cannot be read.
std::string programFolder();
