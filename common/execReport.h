// The step both ways of starting a program share: the forked child replaces itself with
// the program, and a failed exec reaches the parent through a close-on-exec pipe (a
// successful exec closes it), so "cannot be started" is never mistaken for a run.
#pragma once
#include <string>
#include <vector>

// The argument vector for execve: pointers into `arguments`, ending with null.
std::vector<char*> execArgv(const std::vector<std::string>& arguments);

// In the forked child, after its own set-up: standard input from /dev/null, none of the
// caller's descriptors beyond the standard three (sockets and database files opened
// without close-on-exec), then the program. On failure writes errno to `report` and
// ends the child with 127. Only async-signal-safe calls: the parent may have other
// threads holding locks.
[[noreturn]] void execOrReport(char* const* argv, int report);

// In the parent, once its copy of the write end is closed: reads the report and closes
// `readEnd`. 0 when the program started, else the errno of the failed exec.
int readExecReport(int readEnd);
