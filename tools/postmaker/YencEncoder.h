// yEnc encoding of one block of data into lines ending in CRLF.
#pragma once

#include <cstddef>
#include <string>

// Appends the encoded lines for `data` to `out`. NUL, LF, CR and '=' are always
// escaped, TAB and space only at the start or end of a line. A '.' at the start of a
// line stays as it is: the server's dot-stuffing has to carry it. A line may reach
// `lineLength` + 1 characters when it ends in an escape.
void encodeYencLines(const unsigned char* data, std::size_t size, int lineLength, std::string& out);
