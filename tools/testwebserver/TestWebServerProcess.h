// Runs the test web server as a child process for a test (see ChildServerProcess):
// started from the program folder with the given arguments, ended with SIGTERM when
// the object goes. Create it on the test's own thread.
#pragma once
#include "ChildServerProcess.h"

#include <string>
#include <vector>

class TestWebServerProcess {
  public:
    explicit TestWebServerProcess(const std::vector<std::string>& arguments)
        : process("testwebserver", arguments) {}

    // The port it listens on, or 0 when it did not start (see stderr).
    int port() const { return process.port(); }
    // "127.0.0.1:<port>", the form a host with a port takes in a request.
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port()); }
    // Ends the server and waits for it; called by the destructor.
    void stop() { process.stop(); }

  private:
    ChildServerProcess process;
};
