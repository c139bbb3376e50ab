// The desktop entry that opens files with a program: its Exec line, written and read
// with the quoting and escape rules of desktop entries.
#pragma once
#include <string>

// The Exec value, as written in the file, that runs `program` with the opened file: the
// program path in double quotes (so blanks, quotes and '$' reach it unchanged) and the
// %f field code.
std::string execValueFor(const std::string& program);

// The program an Exec value (as written in the file) runs. A quoted program is the text
// up to the closing quote with its escapes undone. An unquoted command is returned whole,
// without the field codes it ends with (the placeholders for the opened files), so that
// "/opt/corvane/corvane %f" yields the program and "tool --add" stays "tool --add".
std::string programFromExec(const std::string& value);

// A complete desktop entry named `name` that opens files of `mimeType` with `program`.
std::string desktopEntryText(const std::string& name, const std::string& program,
                             const std::string& mimeType);

// The Exec value of a desktop entry's text; empty when it has none.
std::string execValueOf(const std::string& entryText);
