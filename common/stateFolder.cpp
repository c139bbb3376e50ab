#include "stateFolder.h"

#include "XdgFolders.h"
#include "programFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

// A build puts its executables into <build>/bin, beside the build's CMakeCache.txt.
bool isWritableBuildTree(const std::string& folder) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(folder + "/../CMakeCache.txt", ignored) &&
           access(folder.c_str(), W_OK) == 0;
}

} // namespace

tstateFolder locateStateFolder(const char* variable, const char* name,
                               const std::string& executableFolder) {
    const char* chosen = getenv(variable);
    if (chosen && *chosen) return {chosen, false};
    if (isWritableBuildTree(executableFolder)) return {executableFolder, false};
    const std::string data = xdgDataHome();
    if (data.empty()) return {"", true};
    return {data + "/" + name, true};
}

std::string stateFolder(const char* variable, const char* name) {
    return locateStateFolder(variable, name, programFolder()).path;
}
