#include "LauncherOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

bool readNumber(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (!*text || *end || value < low || value > high) return false;
    out = (int)value;
    return true;
}

} // namespace

const char* launcherUsage() {
    return "usage: miravel                      open the search window\n"
           "       miravel --console [options] \"search words\"\n"
           "\n"
           "Console options:\n"
           "  --engine NAME      engine to search (binsearch, nzbindex, yabsearch);\n"
           "                     default: the first one loaded\n"
           "  --group NAME       browse a newsgroup instead of (or besides) searching words\n"
           "  --download IDS     fetch an NZB for these result ids (comma-separated) into\n"
           "                     ./nzb and print its path; the words name the file\n"
           "  --name NAME        name of the NZB file (default: the words)\n"
           "  --filter TEXT      subject filter of the printed table (default: the words)\n"
           "  --wait SECONDS     how long to wait for the site's answer (default 60)\n"
           "  --limit N          print at most N rows (default 100)\n"
           "  --list-engines     print the engines that are loaded\n"
           "  --quiet            drop the diagnostic lines (normally on standard error)\n"
           "  --help, --version  this text; the version\n"
           "\n"
           "The results database and the nzb, tmp and cfg folders live in $MIRAVEL_HOME\n"
           "when it is set, else in $XDG_DATA_HOME/miravel (~/.local/share/miravel), or\n"
           "beside the program in a build tree. Engine hosts: cfg/engines.ini, a section\n"
           "per engine with host=name[:port].\n";
}

bool parseLauncherOptions(int argc, char** argv, LauncherOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string number;
        if (!strcmp(arg, "--console")) {
            options.console = true;
        } else if (!strcmp(arg, "--list-engines")) {
            options.listEngines = options.console = true;
        } else if (!strcmp(arg, "--quiet")) {
            options.quiet = true;
        } else if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            options.help = true;
        } else if (!strcmp(arg, "--version")) {
            options.version = true;
        } else if (!strcmp(arg, "--engine")) {
            if (!value(options.engine)) return false;
        } else if (!strcmp(arg, "--group")) {
            if (!value(options.group)) return false;
        } else if (!strcmp(arg, "--download")) {
            if (!value(options.downloadIds)) return false;
        } else if (!strcmp(arg, "--name")) {
            if (!value(options.name)) return false;
        } else if (!strcmp(arg, "--filter")) {
            if (!value(options.filter)) return false;
            options.filterGiven = true;
        } else if (!strcmp(arg, "--wait") || !strcmp(arg, "--limit")) {
            bool wait = !strcmp(arg, "--wait");
            if (!value(number)) return false;
            if (!readNumber(number.c_str(), wait ? 1 : 0, wait ? 3600 : 1000000,
                            wait ? options.waitSeconds : options.limit)) {
                error = std::string(arg) + " takes a number, not \"" + number + "\"";
                return false;
            }
        } else if (arg[0] == '-' && arg[1]) {
            error = std::string("unknown option ") + arg;
            return false;
        } else {
            if (!options.words.empty()) options.words += ' ';
            options.words += arg;
        }
    }
    if (!options.words.empty() || !options.group.empty() || !options.downloadIds.empty())
        options.console = true;
    if (options.console && !options.listEngines && !options.help && !options.version &&
        options.words.empty() && options.group.empty() && options.downloadIds.empty()) {
        error = "nothing to search: give some words or --group";
        return false;
    }
    return true;
}
