// Opens the search window: loads the window library from the program folder and enters
// its runloop, which returns when the user closes the window.
#pragma once

// The runloop's result, or -1 when the library or its entry point is missing (a message
// telling what to do instead has then been printed).
int runWindow(int argc, char** argv, char** envp);
