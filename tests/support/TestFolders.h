// Temporary folders and whole-file helpers shared by the test suites: every test works
// in a fresh folder of its own, removed with everything in it afterwards.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempFolder {
  public:
    explicit TempFolder(const char* prefix = "brindle_test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / prefix).string() + "_XXXXXX";
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }

    std::string path; // empty when no folder could be made
};

// A temporary folder that is the working directory while it lives. The working
// directory is process-wide: tests using this must not run on several threads at once.
class WorkingFolder : public TempFolder {
  public:
    explicit WorkingFolder(const char* prefix = "brindle_test")
        : TempFolder(prefix), previous(std::filesystem::current_path()) {
        if (!path.empty()) std::filesystem::current_path(path);
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }

  private:
    std::filesystem::path previous;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
