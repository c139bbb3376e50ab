// Both programs installed by the build's own install rules into a temporary DESTDIR
// with the prefix /usr, as the Debian package lays them out; made once per test program.
#pragma once
#include <map>
#include <string>

class InstalledTree {
  public:
    // Installs at the first call. root() is empty when the install failed (see log()).
    static const InstalledTree& get();

    const std::string& root() const { return destdir; }
    std::string usr(const std::string& path) const { return destdir + "/usr/" + path; }
    const std::string& log() const { return output; }

  private:
    std::string destdir;
    std::string output;
};

// The files and links below `folder` by path relative to it, each with its size and
// modification time, to show that nothing was written there.
std::map<std::string, std::string> treeSnapshot(const std::string& folder);
