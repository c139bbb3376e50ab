// Hands imports to the running corvane the way every other part of the system does:
// by starting the program with the command as its arguments. The runs happen one after
// the other on a thread of their own, in the order asked, so the window never waits.
#pragma once
#include <functional>
#include <string>
#include <vector>

// One run of the program: its arguments, a pause after it has ended, and what to do when
// the running instance refused it (an NZB that yields no files): called on the
// messengers' thread with the line that says why.
struct tmessengerRun {
    std::vector<std::string> arguments;
    int pauseAfterMs = 0;
    std::function<void(const std::string& why)> refused = nullptr;
};

// Queues the runs behind those already waiting.
void runMessengers(std::vector<tmessengerRun> runs);
// The program started; the running executable unless set (tests set a recorder).
void setMessengerProgram(const std::string& path);
// Blocks until every queued run has ended (tests, shutdown).
void waitForMessengers();
