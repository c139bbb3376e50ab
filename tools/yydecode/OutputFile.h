// One decoded file being written into the output folder. It is written under a fresh
// hidden name (created exclusively, never through a symbolic link) and renamed to its
// own name when finished. Whatever already has that name (a file, a symbolic link) is
// kept: the new file takes the first free numbered name instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class OutputFile {
  public:
    // `name` must already be a safe single file name (safeOutputName). Yields nothing
    // and sets `error` when the file cannot be created.
    static std::unique_ptr<OutputFile> create(int folder, const std::string& name,
                                              std::string& error);
    ~OutputFile(); // an unfinished file is removed

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Safe to call from several threads for different ranges.
    bool writeAt(const unsigned char* data, std::size_t size, std::uint64_t offset,
                 std::string& error);
    // Sets the length (when `size` is not UINT64_MAX), closes and renames the file to its
    // name, or to a free numbered one (placedName()).
    bool finish(std::uint64_t size, std::string& error);
    const std::string& placedName() const { return name; }

  private:
    OutputFile(int folder, int fd, std::string name, std::string temporary);

    int folder;
    int fd;
    std::string name;
    std::string temporary;
};

// Renames `from` in `fromFolder` to `name` in `folder`, or, when that exists, to the first
// free numberedName; never replaces anything. `placed` receives the name used.
bool renameToFreeName(int fromFolder, const std::string& from, int folder,
                      const std::string& name, std::string& placed, std::string& error);
inline bool renameToFreeName(int folder, const std::string& from, const std::string& name,
                             std::string& placed, std::string& error) {
    return renameToFreeName(folder, from, folder, name, placed, error);
}
