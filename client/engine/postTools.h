// What the post-processing stage needs from the PAR2 and archive tools, behind one small
// interface: the stage's flow is tested with a stand-in, the program uses the real tools.
#pragma once
#include "archiveUnpack.h"
#include "par2Repair.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using tprogress = std::function<void(int percent)>;

class cPostTools {
  public:
    virtual ~cPostTools() = default;
    // The PAR2 index file among `files`; "" when there is none.
    virtual std::string par2Index(const std::vector<std::string>& files) = 0;
    // Whether `path` is a PAR2 file, whatever its name.
    virtual bool isPar2(const std::string& path) = 0;
    // Checks the files and, when something is amiss and the blocks suffice, repairs and
    // renames misnamed files to the names the set records; `progress` only while repairing.
    virtual par2Check repair(const std::string& index, const std::vector<std::string>& files,
                             const tprogress& progress, const std::atomic<bool>* stop) = 0;
    // The fewest volumes (file id, blocks) that give at least `need` blocks; empty when
    // all of them fall short.
    virtual std::vector<int> chooseVolumes(const std::vector<std::pair<int, int>>& volumes,
                                           int need) = 0;
    virtual std::vector<archiveSet> archiveSets(const std::vector<std::string>& files) = 0;
    virtual unpackResult unpack(const archiveSet& set, const std::string& target,
                                const std::string& password, const tprogress& progress,
                                const std::atomic<bool>* stop) = 0;
};

// The tools the program uses: par2 and libarchive.
std::unique_ptr<cPostTools> makePostTools();
