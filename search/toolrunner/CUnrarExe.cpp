#include "CUnrarExe.h"

#include <cstdio>

void CUnrarExe::execute(const char* first, const char* second) {
    std::vector<std::string> arguments = {locateTool("unrar"), "x", "-y", pathArgument(first)};
    if (second && *second) arguments.push_back(pathArgument(second));
    std::string output;
    int error = 0;
    executeProcess(arguments, output, error);
    if (error) printf("unrar: cannot run for %s (error %d)\n", first ? first : "", error);
}
