// Where a tool keeps its state: configuration, databases, temporary folders, logs.
#pragma once
#include <string>

struct tstateFolder {
    std::string path;     // empty when no folder can be named (no HOME)
    bool perUser = false; // the user's data folder of an installed program
};

// $<variable> when it is set; else `executableFolder` when that is a build tree the user
// can write (the build keeps working in place); else $XDG_DATA_HOME/<name>, so that an
// installed program never writes beside itself. Nothing is created here.
tstateFolder locateStateFolder(const char* variable, const char* name,
                               const std::string& executableFolder);

// The state folder of the running program, by the rule above.
std::string stateFolder(const char* variable, const char* name);
