// gzip as a tool: decompresses a file in place.
#pragma once
#include "CConsoleProcess.h"

class CGzipExe : public CConsoleProcess {
  public:
    // Runs "gzip -f -d -S <extension> <file>": the output is `file` without its
    // extension, an existing output is overwritten and the compressed file deleted on
    // success. A file whose name has no extension is left alone.
    void execute(const char* file);
};
