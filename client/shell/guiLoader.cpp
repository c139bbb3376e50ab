#include "guiLoader.h"

#include "programFolder.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace {

using tentry = int (*)(void*);

// The window library; only the main thread loads and unloads it.
void* library = nullptr;
tentry initializeEntry = nullptr;
tentry terminateEntry = nullptr;

int lastError() {
    return errno ? errno : ENOENT;
}

tentry lookUp(const char* name) {
    return library ? reinterpret_cast<tentry>(dlsym(library, name)) : nullptr;
}

const char kWindowLibrary[] = "libglimmerpane.so";

// The program folder is the working folder (CORVANE_HOME when set, the executable's
// folder in a build tree); an installed program has its library folder.
std::string windowLibraryPath() {
    const std::string here = std::string("./") + kWindowLibrary;
    std::error_code ignored;
    if (std::filesystem::exists(here, ignored)) return here;
    const std::string installed = programFolders().front() + "/" + kWindowLibrary;
    return std::filesystem::exists(installed, ignored) ? installed : here;
}

void load() {
    // Qt keeps pointers into a library it has loaded, so it is never really unloaded.
    errno = 0;
    library = dlopen(windowLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        printf("ERROR: Loadlib %d     \n", lastError());
        printf("  %s\n", dlerror());
    }
    initializeEntry = lookUp("initialize");
    if (!initializeEntry) printf("ERROR: Procaddr init %d \n", lastError());
    terminateEntry = lookUp("terminate");
    if (!terminateEntry) printf("ERROR: Procaddr term %d \n", lastError());
}

} // namespace

int loadgui(void* model) {
    if (model) {
        if (!library) load();
        if (initializeEntry) return initializeEntry(model);
    }
    if (library) {
        if (terminateEntry) terminateEntry(nullptr);
        dlclose(library);
    }
    library = nullptr;
    initializeEntry = nullptr;
    return 0;
}
