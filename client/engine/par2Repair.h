// Verifying and repairing a post's files with the par2 program (par2cmdline), run from an
// argument vector at normal priority (the user waits for the post, as for a par2 run of
// their own); what it prints is read line by line.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What a repair found and did.
struct par2Check {
    enum Result { Intact, Repaired, NotRepairable, NoSet, ToolFailed };
    Result result = ToolFailed;
    int damagedBlocks = 0;  // data blocks missing or damaged in the files present
    int recoveryBlocks = 0; // recovery blocks in the files present
    // (name found, name the set records): complete files with the wrong name; a repair renames them
    std::vector<std::pair<std::string, std::string>> misnamed;
    // Repaired: names the set records of files that were missing under those names and are
    // there now (made from recovery blocks, or misnamed ones renamed).
    std::vector<std::string> restored;
    std::string reason; // ToolFailed: why (e.g. "par2 not found", "stopped"), one line
};

// The par2 program: the program folder first, then PATH; "" when there is none.
std::string findPar2Tool();

// The PAR2 index file (the main ".par2", not a ".volNN+MM.par2") among `files`; by content
// ("PAR2\0PKT") when names are obfuscated. Without an index, the smallest recovery volume,
// which carries the same description of the set. "" when there is no PAR2 file at all.
std::string findPar2Index(const std::vector<std::string>& files);

// A PAR2 file, index or volume: by its ".par2" name, else by content (obfuscated names).
bool isPar2File(const std::string& path);

// Checks `files` against the set of `index` (scanning every one, so misnamed files are
// found) and, when something is amiss and enough recovery blocks are at hand, repairs and
// renames misnamed files to the recorded names: one pass over the files when nothing needs
// doing. Intact: nothing needed; NotRepairable: nothing touched, the counts tell how far
// short; NoSet: an empty `index`. `progress` (0..100) is called only once par2 writes
// repaired blocks, so the caller can tell the scan from the repair. The copies of damaged
// files par2 keeps ("name.1") are removed once the repair has succeeded.
par2Check par2Repair(const std::string& tool, const std::string& index,
                     const std::vector<std::string>& files,
                     const std::function<void(int)>& progress, const std::atomic<bool>* stop);

// The fewest volumes (file id, blocks) whose blocks add up to at least `need`; among those,
// the fewest surplus blocks. Empty when all of them together fall short (or nothing is needed).
std::vector<int> chooseRepairVolumes(const std::vector<std::pair<int, int>>& volumes, int need);
