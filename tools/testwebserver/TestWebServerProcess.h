// Runs the test web server as a child process for a test: starts the program from the
// program folder with the given arguments, reads its "port <n>" line, and ends it with
// SIGTERM when the object goes. Create it on the test's own thread: the server also
// ends when the thread that started it ends.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

class TestWebServerProcess {
  public:
    explicit TestWebServerProcess(const std::vector<std::string>& arguments);
    ~TestWebServerProcess();
    TestWebServerProcess(const TestWebServerProcess&) = delete;
    TestWebServerProcess& operator=(const TestWebServerProcess&) = delete;

    // The port it listens on, or 0 when it did not start (see stderr).
    int port() const { return listenPort; }
    // "127.0.0.1:<port>", the form a host with a port takes in a request.
    std::string hostPort() const;
    // Ends the server and waits for it; called by the destructor.
    void stop();

  private:
    pid_t pid = -1;
    int listenPort = 0;
};
