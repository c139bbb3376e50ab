// The desktop entry that opens files with a program: its Exec line, written and read
// with the quoting and escape rules of desktop entries.
#pragma once
#include <string>

// The Exec value, as written in the file, that runs `program` with the opened file: the
// program path in double quotes (so blanks, quotes and '$' reach it unchanged) and the
// %f field code.
std::string execValueFor(const std::string& program);

// The program an Exec value (as written in the file) runs. A quoted program is the text
// up to the closing quote with its escapes undone; otherwise it is the first word, so
// "/opt/x/bin/y --add %f" yields "/opt/x/bin/y" and "sabnzbdplus %f" "sabnzbdplus".
std::string programFromExec(const std::string& value);

// Where a program of an Exec line lives: a name without "/" is looked for on PATH, as
// the desktop does. Empty when it does not lead to an executable file.
std::string programOnDisk(const std::string& program);

// A complete desktop entry named `name` that opens files of `mimeType` with `program`.
std::string desktopEntryText(const std::string& name, const std::string& program,
                             const std::string& mimeType);

// The Exec value of a desktop entry's text; empty when it has none.
std::string execValueOf(const std::string& entryText);
