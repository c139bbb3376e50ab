#include "XdgFolders.h"

#include <cctype>
#include <cstdlib>

namespace {

std::vector<std::string> splitList(const char* text) {
    std::vector<std::string> items;
    std::string list = text ? text : "";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) items.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// Relative folders in these variables are invalid and must be ignored.
std::vector<std::string> absoluteFolders(const char* variable, const char* fallback) {
    std::vector<std::string> folders;
    for (const std::string& folder : splitList(getenv(variable)))
        if (folder[0] == '/') folders.push_back(folder);
    return folders.empty() ? splitList(fallback) : folders;
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
    std::vector<std::string> desktops = splitList(getenv("XDG_CURRENT_DESKTOP"));
    for (std::string& desktop : desktops)
        for (char& c : desktop)
            c = (char)tolower((unsigned char)c);
    return desktops;
}
