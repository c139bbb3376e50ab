// What par2 (par2cmdline) says during a verify or a repair, gathered line by line.
#pragma once
#include "childProcess.h"

#include <string>
#include <utility>
#include <vector>

struct par2Output {
    enum State { Unknown, Intact, Repairable, NotRepairable };
    State state = Unknown;
    int totalBlocks = 0;     // data blocks of the set
    int availableBlocks = 0; // of those, found in the files
    int recoveryBlocks = 0;  // in the PAR2 files found (par2 leaves the line out when none)
    int repairPercent = 0;
    bool repairing = false; // par2 has begun writing repaired blocks
    std::vector<std::pair<std::string, std::string>> matches; // (file, name the set records)
    // Files of the set found damaged but holding some of their blocks: a version of that
    // file, not something else that happens to carry its name.
    std::vector<std::string> damagedTargets;
    // Files of the set found nowhere under their own names.
    std::vector<std::string> missingTargets;
    // (file, name the set records): other files holding some blocks of that file.
    std::vector<std::pair<std::string, std::string>> partialCopies;
    // After finish: why the run gave no answer to go by, one line; empty when it did.
    std::string failure;

    void read(const std::string& line);
    // Checks the exit code against what was read: a run whose lines and code disagree, or
    // that says nothing known, is a failure rather than a guess.
    void finish(const tchildRun& run);

  private:
    void readFileLine(const std::string& line);

    bool sawBlocks = false;
    bool sawComplete = false;
    std::string lastText;
};
