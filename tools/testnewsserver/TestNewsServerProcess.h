// Runs the test news server as a child process for a test or benchmark (see
// ChildServerProcess): started from the program folder with the given arguments,
// ended with SIGTERM when the object goes. Create it on the test's own thread.
#pragma once
#include "ChildServerProcess.h"

#include <string>
#include <vector>

class TestNewsServerProcess {
  public:
    explicit TestNewsServerProcess(const std::vector<std::string>& arguments)
        : process("testnewsserver", arguments) {}

    // The port it listens on, or 0 when it did not start (see stderr).
    int port() const { return process.port(); }
    // Ends the server and waits for it; called by the destructor. True when it ended
    // cleanly on the stop signal.
    bool stop() { return process.stop(); }

  private:
    ChildServerProcess process;
};
