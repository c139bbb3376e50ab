// miravel: opens the search window, or with --console (or search words) searches one
// engine from the terminal and prints the results as a table.
#include "ConsoleSearch.h"
#include "LauncherOptions.h"
#include "WindowLoader.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The table goes to standard output; the search core's diagnostic lines, which it writes
// on standard output too, are moved to standard error (or dropped when quiet).
FILE* separateTableFromDiagnostics(bool quiet) {
    fflush(stdout);
    FILE* table = fdopen(dup(STDOUT_FILENO), "w");
    int target = quiet ? open("/dev/null", O_WRONLY) : dup(STDERR_FILENO);
    dup2(target, STDOUT_FILENO);
    close(target);
    setvbuf(stdout, nullptr, _IOLBF, 0); // keep the diagnostic lines in step with stderr
    return table ? table : stderr;
}

} // namespace

int main(int argc, char** argv, char** envp) {
    LauncherOptions options;
    std::string error;
    if (!parseLauncherOptions(argc, argv, options, error)) {
        fprintf(stderr, "miravel: %s (miravel --help lists the options)\n", error.c_str());
        return 2;
    }
    if (options.help || options.version) {
        printf("%s", options.help ? launcherUsage() : "miravel " CORV_VERSION "\n");
        return 0;
    }
    if (!options.console) return runWindow(argc, argv, envp) < 0 ? 1 : 0;

    FILE* table = separateTableFromDiagnostics(options.quiet);
    int status;
    {
        ConsoleSearch search(options, table);
        status = search.run();
    }
    fflush(stdout);
    if (table != stderr) fclose(table);
    return status;
}
