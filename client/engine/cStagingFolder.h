// The hidden folder inside a target folder that an archive is extracted into first, so
// that the target only ever receives a completely extracted set, and only under free names.
#pragma once
#include <string>
#include <vector>

class cStagingFolder {
  public:
    static constexpr const char* kName = ".corvane-unpacking";

    cStagingFolder() = default;
    ~cStagingFolder(); // removes the folder with whatever is still in it
    cStagingFolder(const cStagingFolder&) = delete;
    cStagingFolder& operator=(const cStagingFolder&) = delete;

    // Makes "<target>/.corvane-unpacking" afresh, removing one a killed run left behind.
    // "" or the reason.
    std::string create(const std::string& target);
    // Its absolute path without links on the way.
    const std::string& path() const { return staging; }

    // Moves everything in it into the target: a name taken there gets a free numbered
    // name, a folder that is there already receives the staged folder's entries. The
    // target paths of what was moved are added to `written`. "" or the reason.
    std::string moveIntoTarget(std::vector<std::string>& written);

  private:
    std::string moveEntries(int from, int to, const std::string& toPath,
                            std::vector<std::string>& written);

    std::string target;  // as the caller named it, for the paths in `written`
    std::string staging; // resolved
};
