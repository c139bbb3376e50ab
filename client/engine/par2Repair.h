// Verifying and repairing a post's files with the par2 program (par2cmdline), run from an
// argument vector at idle priority; what it prints is read line by line.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct par2Check {
    enum Result { Intact, Repairable, NotRepairable, NoSet, ToolFailed };
    Result result = ToolFailed;
    int damagedBlocks = 0;  // data blocks missing or damaged in the files present
    int recoveryBlocks = 0; // recovery blocks in the files present
    // (name found, name the set records): complete files with the wrong name; a repair renames them
    std::vector<std::pair<std::string, std::string>> misnamed;
    std::string reason; // ToolFailed: why (e.g. "par2 not found"), one line
};

// The par2 program: the program folder first, then PATH; "" when there is none.
std::string findPar2Tool();

// The PAR2 index file (the main ".par2", not a ".volNN+MM.par2") among `files`; by content
// ("PAR2\0PKT") when names are obfuscated. Without an index, the smallest recovery volume,
// which carries the same description of the set. "" when there is no PAR2 file at all.
std::string findPar2Index(const std::vector<std::string>& files);

// Verifies against the set of `index`, scanning `files` too (so misnamed files are found).
// An empty `index` gives NoSet.
par2Check par2Verify(const std::string& tool, const std::string& index,
                     const std::vector<std::string>& files, const std::atomic<bool>* stop);

// Repairs and renames misnamed files to the recorded names; `progress` 0..100. The copies
// of damaged files par2 keeps ("name.1") are removed once the repair has succeeded.
// False with a one-line `reason` on failure ("stopped" when `stop` was set).
bool par2Repair(const std::string& tool, const std::string& index,
                const std::vector<std::string>& files, const std::function<void(int)>& progress,
                const std::atomic<bool>* stop, std::string& reason);

// The fewest volumes (file id, blocks) whose blocks add up to at least `need`; among those,
// the fewest surplus blocks. Empty when all of them together fall short (or nothing is needed).
std::vector<int> chooseRepairVolumes(const std::vector<std::pair<int, int>>& volumes, int need);
