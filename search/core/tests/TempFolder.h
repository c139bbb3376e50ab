// A fresh temporary folder that becomes the working folder for one test and is removed
// afterwards, so every test starts with no database and no response files.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/miravel_test_XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made) path = made;
        previous = std::filesystem::current_path();
        std::filesystem::create_directories(path + "/cfg");
        std::filesystem::current_path(path);
    }
    ~TempFolder() {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path;

  private:
    std::filesystem::path previous;
};
