// What the post-processing stage needs from the PAR2 and archive tools, behind one small
// interface: the stage's flow is tested with a stand-in, the program uses the real tools.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct par2Check {
    enum Result { Intact, Repairable, NotRepairable, NoSet, ToolFailed };
    Result result = ToolFailed;
    int damagedBlocks = 0;  // data blocks missing or damaged in the files present
    int recoveryBlocks = 0; // recovery blocks in the files present
    // (name found, name the set records): complete files with the wrong name
    std::vector<std::pair<std::string, std::string>> misnamed;
    std::string reason;
};

struct archiveSet {
    std::string kind;                 // "rar", "7z" or "zip"
    std::vector<std::string> volumes; // paths, first volume first
};

struct unpackResult {
    bool ok = false;
    bool passwordNeeded = false;
    std::string reason;
    std::vector<std::string> written;
};

using tprogress = std::function<void(int percent)>;

class cPostTools {
  public:
    virtual ~cPostTools() = default;
    // The PAR2 index file among `files`; "" when there is none.
    virtual std::string par2Index(const std::vector<std::string>& files) = 0;
    virtual par2Check verify(const std::string& index, const std::vector<std::string>& files,
                             const std::atomic<bool>* stop) = 0;
    // Repairs, and renames misnamed files to the names the set records.
    virtual bool repair(const std::string& index, const std::vector<std::string>& files,
                        const tprogress& progress, const std::atomic<bool>* stop,
                        std::string& reason) = 0;
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
