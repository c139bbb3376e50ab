// The demo's post as posts usually are: the files packed into stored RAR5 volumes, with a
// PAR2 set (index and recovery volumes) made by Debian's par2 over the volumes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchivedPost {
    std::vector<std::string> volumes;     // the RAR volumes, first first
    std::string par2Index;                // NAME.par2
    std::vector<std::string> par2Volumes; // NAME.volXX+YY.par2
    std::string error;                    // why it could not be made; empty when made

    // Everything to post: volumes, index, recovery volumes.
    std::vector<std::string> files() const;
};

// Packs `originals` into `folder`/`name`.partN.rar volumes of `volumeSize` bytes and runs
// par2 over them for `recoveryPercent` % recovery data in four volumes, in blocks of
// `blockSize` bytes.
ArchivedPost makeArchivedPost(const std::vector<std::string>& originals, const std::string& folder,
                              const std::string& name, std::uint64_t volumeSize,
                              int recoveryPercent, std::uint64_t blockSize);
