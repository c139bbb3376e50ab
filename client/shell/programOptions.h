// The options of the corvane command line. They are answered or taken out before the
// single-instance logic; every other argument is a message for the running instance.
#pragma once
#include <string>
#include <vector>

struct tprogramOptions {
    bool help = false;
    bool version = false;
    bool noWindow = false;              // the instance started here shows no window
    std::vector<std::string> arguments; // the message words, in order
    std::string error;                  // a bad option, as one line; empty when fine
};

// Reads argv. Words beginning with "-" are options; after "--" every word is a message
// word, so a file whose name begins with "-" can still be handed over.
tprogramOptions parseProgramOptions(int argc, char** argv);

// The text of --help.
const char* programUsage();
