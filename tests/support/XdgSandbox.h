// The freedesktop folders of a test: HOME and every XDG folder variable point into a
// temporary folder for the sandbox's lifetime, so desktop associations, MIME packages
// and mimeapps.list are read and written there and never in the real user's files.
#pragma once
#include "TestFolders.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class XdgSandbox : public TempFolder {
  public:
    XdgSandbox() : TempFolder("xdg_test") {
        set("HOME", "home");
        set("XDG_DATA_HOME", "data");
        set("XDG_CONFIG_HOME", "config");
        set("XDG_DATA_DIRS", "sysdata");
        set("XDG_CONFIG_DIRS", "sysconfig");
        saved.emplace_back("XDG_CURRENT_DESKTOP", previous("XDG_CURRENT_DESKTOP"));
        unsetenv("XDG_CURRENT_DESKTOP");
    }
    ~XdgSandbox() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

    std::string dataHome() const { return file("data"); }
    std::string configHome() const { return file("config"); }
    std::string dataDirs() const { return file("sysdata"); }
    std::string configDirs() const { return file("sysconfig"); }

  private:
    static std::optional<std::string> previous(const char* name) {
        const char* value = getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    void set(const char* name, const char* folder) {
        saved.emplace_back(name, previous(name));
        std::filesystem::create_directories(file(folder));
        setenv(name, file(folder).c_str(), 1);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};
