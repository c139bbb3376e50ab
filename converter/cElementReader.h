// Cuts an NZB into elements: each runs from its "<" to the next "<", so it holds the
// element with its attributes (over any number of lines, with any line ends) and the
// text that follows it. Every element comes out as UTF-8: valid UTF-8 passes, other
// bytes are read in the encoding the XML declaration names (Latin-1 by default). What
// comes before the first "<" (a byte-order mark, blanks) is skipped.
#pragma once

#include "cNzbInput.h"
#include "utf8Text.h"

#include <cstddef>

class cElementReader {
  public:
    // What next() found.
    enum eElement {
        elementEnd,     // no more elements, or a read failure (see failed())
        elementOk,      // `element` holds the element as text
        elementTooLong, // longer than the buffer once in UTF-8; `element` holds its start
        elementNul,     // holds a NUL byte, which no NZB text may; `element` holds its start
    };

    // `input` stays owned by the caller and open while the reader is used.
    explicit cElementReader(cNzbInput& input) : input(input) {}

    // The next element into `element` (`size` bytes with the terminator).
    eElement next(char* element, std::size_t size);
    // The input could not be read to its end.
    bool failed() const { return readFailed; }

  private:
    bool fill();
    void takeDeclaration(const char* element);

    static constexpr std::size_t kChunk = 64 * 1024;
    // An element as read, before conversion: as wide as the parser's element buffer.
    static constexpr std::size_t kRawSize = 4096;
    cNzbInput& input;
    char chunk[kChunk];
    std::size_t position = 0;
    std::size_t filled = 0;
    bool ended = false;
    bool readFailed = false;
    eCharset charset = eCharset::latin1;
    char raw[kRawSize];
};
