// The program's tools for the post-processing stage: par2 and libarchive.
#include "postTools.h"

#include "archiveUnpack.h"
#include "par2Repair.h"

namespace {

class cProgramTools : public cPostTools {
  public:
    std::string par2Index(const std::vector<std::string>& files) override {
        return findPar2Index(files);
    }
    bool isPar2(const std::string& path) override { return isPar2File(path); }
    par2Check repair(const std::string& index, const std::vector<std::string>& files,
                     const tprogress& progress, const std::atomic<bool>* stop) override {
        return par2Repair(findPar2Tool(), index, files, progress, stop);
    }
    std::vector<int> chooseVolumes(const std::vector<std::pair<int, int>>& volumes,
                                   int need) override {
        return chooseRepairVolumes(volumes, need);
    }
    std::vector<archiveSet> archiveSets(const std::vector<std::string>& files) override {
        return findArchiveSets(files);
    }
    unpackResult unpack(const archiveSet& set, const std::string& target,
                        const std::string& password, const tprogress& progress,
                        const std::atomic<bool>* stop) override {
        return unpackArchive(set, target, password, progress, stop);
    }
};

} // namespace

std::unique_ptr<cPostTools> makePostTools() {
    return std::make_unique<cProgramTools>();
}
