// par2 as a tool: verifies a recovery set and reads the block counts from its last line.
#pragma once
#include "CConsoleProcess.h"

class CPar2Exe : public CConsoleProcess {
  public:
    // Parse modes of parseResponse.
    enum { modeNeeded = 1, modeMissing = 2, modeTotal = 3 };
    explicit CPar2Exe(int mode = modeNeeded) : mode(mode) {}

    // Runs "par2 v -q <first> [<second>]" (an empty `second` is left out) and parses
    // the last line it prints.
    void execute(const char* first, const char* second);
    // Reads "You need <n> " from `lastLine` (n is 0 when the line does not match):
    // modeNeeded stores n as the blocks needed, modeMissing stores needed - n as the
    // blocks still missing, modeTotal adds needed - n to the total. In every mode but
    // modeTotal the line is printed. A null line is ignored.
    void parseResponse(const char* lastLine);

    int blocksNeeded() const { return needed; }
    int blocksMissing() const { return missing; }
    int runningTotal() const { return total; }

  private:
    int mode;
    int needed = 0;
    int missing = 0;
    int total = 0;
};
