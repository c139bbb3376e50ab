#include "desktopOpener.h"

#include "detachedProcess.h"

#include <cstdio>
#include <cstring>

void openWithDesktop(const std::string& target) {
    int error = spawnDetached({"xdg-open", target});
    if (error != 0) printf("cannot open %s: xdg-open: %s\n", target.c_str(), strerror(error));
}
