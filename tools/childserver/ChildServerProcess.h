// Runs one of our test servers as a child process for a test: starts the program from
// the program folder with the given arguments, reads its first output line "port <n>",
// and ends it with SIGTERM when the object goes. Create it on the test's own thread:
// the servers also end when the thread that started them ends.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

class ChildServerProcess {
  public:
    ChildServerProcess(const std::string& programName, const std::vector<std::string>& arguments);
    ~ChildServerProcess();
    ChildServerProcess(const ChildServerProcess&) = delete;
    ChildServerProcess& operator=(const ChildServerProcess&) = delete;

    // The port it listens on, or 0 when it did not start (see stderr).
    int port() const { return listenPort; }
    // Ends the server and waits for it; called by the destructor. True when it ended
    // by itself on the stop signal with exit status 0; false when it had to be killed,
    // failed, or was not running.
    bool stop();

  private:
    pid_t pid = -1;
    int listenPort = 0;
};
