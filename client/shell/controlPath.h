// Where the control socket of one program folder lives: in a folder only its user can
// enter ($XDG_RUNTIME_DIR, else /tmp/corvane-<uid>), named after the folder's real path,
// so each program folder of each user has its own running instance.
#pragma once
#include <string>
#include <sys/types.h>

struct ControlPath {
    std::string path;    // the socket's path; empty when no safe folder was found
    int error = 0;       // errno-style reason when `path` is empty
    std::string problem; // what is wrong, for the user
};

// The control socket of the program folder `realFolder` (an absolute path without
// symbolic links) for the user `uid`. Creates /tmp/corvane-<uid> when it is needed and
// missing; refuses a folder that is not a real folder of `uid` closed to everyone else.
ControlPath controlSocketPath(const std::string& realFolder, uid_t uid);
