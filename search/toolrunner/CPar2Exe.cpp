#include "CPar2Exe.h"

#include <cstdio>

void CPar2Exe::execute(const char* first, const char* second) {
    std::vector<std::string> arguments = {locateTool("par2"), "v", "-q", pathArgument(first)};
    if (second && *second) arguments.push_back(pathArgument(second));
    std::string output;
    int error = 0;
    const char* lastLine = executeProcess(arguments, output, error);
    if (error) printf("par2: cannot run for %s (error %d)\n", first ? first : "", error);
    parseResponse(lastLine);
}

void CPar2Exe::parseResponse(const char* lastLine) {
    if (!lastLine) return;
    int number = 0;
    if (sscanf(lastLine, "You need %d ", &number) != 1) number = 0;
    switch (mode) {
    case modeNeeded:
        needed = number;
        break;
    case modeMissing:
        missing = needed - number;
        break;
    case modeTotal:
        total += needed - number;
        break;
    default:
        break;
    }
    if (mode != modeTotal) printf("%s\n", lastLine);
}
