// The program's tools for the post-processing stage.
#include "postTools.h"

namespace {

// Until the PAR2 and archive parts are wired in: nothing found, nothing done.
class cNoTools : public cPostTools {
  public:
    std::string par2Index(const std::vector<std::string>&) override { return ""; }
    par2Check verify(const std::string&, const std::vector<std::string>&,
                     const std::atomic<bool>*) override {
        return {};
    }
    bool repair(const std::string&, const std::vector<std::string>&, const tprogress&,
                const std::atomic<bool>*, std::string& reason) override {
        reason = "no par2";
        return false;
    }
    std::vector<int> chooseVolumes(const std::vector<std::pair<int, int>>&, int) override {
        return {};
    }
    std::vector<archiveSet> archiveSets(const std::vector<std::string>&) override { return {}; }
    unpackResult unpack(const archiveSet&, const std::string&, const std::string&, const tprogress&,
                        const std::atomic<bool>*) override {
        return {};
    }
};

} // namespace

std::unique_ptr<cPostTools> makePostTools() {
    return std::make_unique<cNoTools>();
}
