#include "XdgFolders.h"

#include "childProcess.h"
#include "splitList.h"

#include <cctype>
#include <cstdlib>

namespace {

// Relative folders in these variables are invalid and must be ignored.
std::vector<std::string> absoluteFolders(const char* variable, const char* fallback) {
    std::vector<std::string> folders;
    const char* value = getenv(variable);
    for (const std::string& folder : splitList(value ? value : "", ':'))
        if (folder[0] == '/') folders.push_back(folder);
    return folders.empty() ? splitList(fallback, ':') : folders;
}

std::string homeFolder(const char* variable, const char* underHome) {
    const char* value = getenv(variable);
    if (value && value[0] == '/') return value;
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') return "";
    return std::string(home) + underHome;
}

} // namespace

std::string xdgDataHome() {
    return homeFolder("XDG_DATA_HOME", "/.local/share");
}

std::string xdgConfigHome() {
    return homeFolder("XDG_CONFIG_HOME", "/.config");
}

std::vector<std::string> xdgDataDirs() {
    return absoluteFolders("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
}

std::vector<std::string> xdgConfigDirs() {
    return absoluteFolders("XDG_CONFIG_DIRS", "/etc/xdg");
}

std::vector<std::string> xdgCurrentDesktops() {
    const char* value = getenv("XDG_CURRENT_DESKTOP");
    std::vector<std::string> desktops = splitList(value ? value : "", ':');
    for (std::string& desktop : desktops)
        for (char& c : desktop)
            c = (char)tolower((unsigned char)c);
    return desktops;
}

std::string userDownloadFolder() {
    const std::string tool = locateProgram("xdg-user-dir", {});
    tchildRun run = tool.empty() ? tchildRun{} : runChild({tool, "DOWNLOAD"});
    std::string folder = run.exitCode == 0 ? run.output : "";
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r'))
        folder.pop_back();
    if (!folder.empty() && folder[0] == '/' && folder.find('\n') == std::string::npos)
        return folder;
    const char* home = getenv("HOME");
    return home && home[0] == '/' ? home : "";
}
