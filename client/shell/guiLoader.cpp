#include "guiLoader.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>

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

void load() {
    // Looked for in the program folder, the working folder (CORVANE_HOME when set). Qt
    // keeps pointers into a library it has loaded, so it is never really unloaded.
    errno = 0;
    library = dlopen("./libglimmerpane.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
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
