// The named character entities the converter understands: amp, gt, lt, quot and the
// HTML 4 names of the ISO 8859-1 range, nbsp ... yuml, with nbsp as a plain blank. The
// parser decodes apos itself: what it stands for depends on how the value is quoted.
#pragma once

#include <cstddef>

class cEntityTable {
  public:
    static constexpr std::size_t kEntries = 100;

    // Looks up the name of `length` characters (case matters: Agrave is not agrave) and
    // gives its code point. Returns false if it is not in the table.
    static bool lookup(const char* name, std::size_t length, unsigned& code);
};
