// unrar as a tool: extracts an archive with full paths, answering yes to everything.
#pragma once
#include "CConsoleProcess.h"

class CUnrarExe : public CConsoleProcess {
  public:
    // Runs "unrar x -y <first> [<second>]"; an empty `second` is left out.
    void execute(const char* first, const char* second);
};
