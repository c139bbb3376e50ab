// Developer's check of the parse-and-store path without a window and without network:
// a stored binsearch result page ("./tmp/lumo0001.htm") is handed to the coordinator as
// if the site had answered, and the results table is read back, which prints the row and
// column counts. `argv[0]` is the program's path (its folder becomes the working folder
// unless $MIRAVEL_HOME is set), `argv[2]` a keyword; with fewer arguments nothing happens.
// Always returns 0.
#pragma once

extern "C" int runloop(int argc, char** argv, char** envp);
