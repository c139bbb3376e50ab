// UU decoding, line by line: "begin <mode> <name>", data lines, "end".
#pragma once

#include <string>
#include <string_view>

// The name from a "begin" line (three or four octal digits, a blank, the name); the
// position of the line after it lands in `bodyStart`. Empty when the text has no such
// line at a line start.
std::string findUuBegin(std::string_view data, std::size_t& bodyStart);

// Where the data lines of a continuation article start: after the header block when
// the text starts with a header line, else at the start.
std::size_t uuContinuationStart(std::string_view data);

// Decodes the data lines of `data` from `from` on and appends the bytes to `out`. Lines
// that are not UU data (headers, the end line ".", blank lines) are skipped. Returns
// true when the "end" line was reached.
bool decodeUuLines(std::string_view data, std::size_t from, std::string& out);
