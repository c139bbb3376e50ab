// The freedesktop base folders (desktop association, per-user state), read from the
// environment at every call so that tests and users can move them.
#pragma once
#include <string>
#include <vector>

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not an absolute path; empty when
// neither it nor HOME is usable.
std::string xdgDataHome();

// $XDG_CONFIG_HOME, or ~/.config, as above.
std::string xdgConfigHome();

// The absolute entries of $XDG_DATA_DIRS, or /usr/local/share and /usr/share.
std::vector<std::string> xdgDataDirs();

// The absolute entries of $XDG_CONFIG_DIRS, or /etc/xdg.
std::vector<std::string> xdgConfigDirs();

// The names in $XDG_CURRENT_DESKTOP, lower-cased, in order.
std::vector<std::string> xdgCurrentDesktops();

// The user's download folder as `xdg-user-dir DOWNLOAD` names it; HOME (what that tool
// answers when none is set) when the tool is missing or says nothing usable.
std::string userDownloadFolder();
