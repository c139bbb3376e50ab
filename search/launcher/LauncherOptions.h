// The command line of the miravel launcher.
#pragma once
#include <string>

struct LauncherOptions {
    bool console = false; // run in the terminal instead of opening the window
    bool listEngines = false;
    bool help = false;
    bool version = false;
    bool quiet = false;       // drop the core's diagnostic lines instead of showing them
    std::string engine;       // service name; empty: the first engine loaded
    std::string words;        // search words; for a download also the NZB's name
    std::string group;        // newsgroup to browse
    std::string downloadIds;  // result ids separated by commas
    std::string name;         // name of the NZB file; empty: the words
    std::string filter;       // subject filter of the printed table
    bool filterGiven = false; // an empty --filter shows every row of the engine
    int waitSeconds = 60;     // how long to wait for the site's answer
    int limit = 100;          // rows printed at most
};

// Fills `options` from the arguments; false (with `error` set) on a bad command line.
bool parseLauncherOptions(int argc, char** argv, LauncherOptions& options, std::string& error);

// The help text.
const char* launcherUsage();
