#include "CGzipExe.h"

#include <cstdio>
#include <cstring>

void CGzipExe::execute(const char* file) {
    if (!file) return;
    // The extension is looked for in the file's own name, never in a folder name.
    const char* name = strrchr(file, '/');
    const char* dot = strrchr(name ? name : file, '.');
    if (!dot || dot[1] == 0) return;
    std::string output;
    int error = 0;
    executeProcess({locateTool("gzip"), "-f", "-d", "-S", dot, pathArgument(file)}, output, error);
    if (error) printf("gzip: cannot run for %s (error %d)\n", file, error);
}
