#include "programOptions.h"

#include <cstring>

tprogramOptions parseProgramOptions(int argc, char** argv) {
    tprogramOptions options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (optionsEnded || word[0] != '-' || word[1] == '\0') {
            options.arguments.push_back(word);
        } else if (!strcmp(word, "--")) {
            optionsEnded = true;
        } else if (!strcmp(word, "--help") || !strcmp(word, "-h")) {
            options.help = true;
        } else if (!strcmp(word, "--version")) {
            options.version = true;
        } else if (!strcmp(word, "--no-window")) {
            options.noWindow = true;
        } else if (options.error.empty()) {
            options.error =
                std::string("unknown option ") + word + " (corvane --help lists the options)";
        }
    }
    return options;
}

const char* programUsage() {
    return "usage: corvane [--no-window] [FILE.nzb | g | t | h | r | u | x]\n"
           "\n"
           "The first start is the running instance: it downloads, shows its window and\n"
           "an icon in the notification area. Every later start hands its words to it:\n"
           "  FILE.nzb     import the NZB file and download it\n"
           "  (nothing), g show the window\n"
           "  t            console (progress, commands) on the instance's terminal\n"
           "  h            check for a newer version\n"
           "  r            reload the queue\n"
           "  u            close the window\n"
           "  x            end the running instance\n"
           "\n"
           "Options:\n"
           "  --no-window  a running instance started now shows no window (servers,\n"
           "               services); a later start hands over only its words\n"
           "  --help       this text\n"
           "  --version    the version\n"
           "\n"
           "State (config.ini, data/, temp/, debugnntp.txt) lives in $CORVANE_HOME when\n"
           "set, else in $XDG_DATA_HOME/corvane (~/.local/share/corvane).\n";
}
