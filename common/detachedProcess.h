// Starting a program that outlives the call: the desktop opener, a copy of the program
// started without waiting.
#pragma once
#include <string>
#include <vector>

// Runs arguments[0] with the rest as its arguments, never through a shell, looked up on
// PATH when it holds no '/'. Does not wait for it to end and leaves no zombie behind: the
// program runs as a grandchild that the system reaps. It gets standard input from
// /dev/null, a new session, the default signal dispositions and mask, and none of the
// caller's descriptors beyond the standard three. Returns 0 once the program has been
// started, or the errno of the step that failed (ENOENT when it cannot be found).
int spawnDetached(const std::vector<std::string>& arguments);
