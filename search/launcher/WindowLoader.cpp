#include "WindowLoader.h"

#include "programFolder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

const char WINDOW_LIBRARY[] = "libtessaly.so";

} // namespace

int runWindow(int argc, char** argv, char** envp) {
    // Without a display the window library falls back to drawing off screen instead of
    // ending the process; this must be decided before the library starts any thread.
    setenv("QT_QPA_PLATFORM", "xcb;offscreen", 0);

    // Installed, the library lies in the library folder; in a build tree beside us.
    std::string library = besideProgram(WINDOW_LIBRARY);
    if (library.empty()) library = programFolder() + "/" + WINDOW_LIBRARY;
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        fprintf(stderr,
                "miravel: the search window is not available (%s).\n"
                "Search from the terminal instead, for example:\n"
                "  miravel --console --engine binsearch \"some words\"\n"
                "(miravel --help lists the options)\n",
                dlerror());
        return -1;
    }
    using Runloop = int (*)(int, char**, char**);
    auto runloop = (Runloop)dlsym(handle, "runloop");
    if (!runloop) {
        fprintf(stderr, "miravel: %s has no runloop entry; use --console\n", library.c_str());
        return -1;
    }
    return runloop(argc, argv, envp);
}
