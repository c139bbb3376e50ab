// A stand-in for the desktop's "xdg-open", put first on PATH while the object lives. Each
// call leaves, in its own files renamed into place whole, its arguments (each ended by a
// NUL) and the descriptors it was started with; calls may run at the same time.
#pragma once
#include "TestFolders.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class RecordingXdgOpen {
  public:
    RecordingXdgOpen() {
        std::filesystem::create_directories(folder.path + "/calls");
        const std::string script = folder.file("xdg-open");
        writeFile(script, "#!/bin/sh\n"
                          "calls=$(dirname \"$0\")/calls\n"
                          "ls /proc/$$/fd > \"$calls/$$.fds\"\n"
                          "printf '%s\\0' \"$@\" > \"$calls/$$.tmp\"\n"
                          "mv \"$calls/$$.tmp\" \"$calls/$$.call\"\n");
        chmod(script.c_str(), 0755);
        const char* path = getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", (folder.path + ":" + oldPath).c_str(), 1);
    }
    ~RecordingXdgOpen() { setenv("PATH", oldPath.c_str(), 1); }
    RecordingXdgOpen(const RecordingXdgOpen&) = delete;
    RecordingXdgOpen& operator=(const RecordingXdgOpen&) = delete;

    // The recorded calls, each as its NUL-ended arguments, in no particular order.
    std::vector<std::string> calls() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path + "/calls"))
            if (entry.path().extension() == ".call") found.push_back(readFile(entry.path()));
        return found;
    }
    // The descriptor numbers the calls were started with, one per line, all calls
    // together; read after calls() has seen them.
    std::string descriptors() const {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path + "/calls"))
            if (entry.path().extension() == ".fds") all += readFile(entry.path());
        return all;
    }
    // Forgets the calls made so far.
    void clear() {
        for (const auto& entry : std::filesystem::directory_iterator(folder.path + "/calls"))
            std::filesystem::remove(entry.path());
    }
    // A folder whose PATH holds no opener at all.
    std::string emptyFolder() const { return folder.file("empty"); }

  private:
    TempFolder folder{"xdg_open_test"};
    std::string oldPath;
};
