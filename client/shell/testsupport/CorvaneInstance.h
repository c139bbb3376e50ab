// The real corvane program in a fresh temporary program folder, for tests, benchmarks
// and the demo: the running instance as a child process, messengers started against it,
// its log read back. Each program folder has its own control socket, so instances in
// different folders run side by side.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

class CorvaneInstance {
  public:
    // Makes an empty temporary program folder named after `name`.
    explicit CorvaneInstance(const std::string& name = "corvane");
    // Runs the program at `program` without CORVANE_HOME, so that it chooses its state
    // folder itself; `stateFolder` is where it is expected to. That folder is kept.
    CorvaneInstance(const std::string& program, const std::string& stateFolder);
    // Kills an instance still running (SIGKILL) and removes the folder unless kept.
    ~CorvaneInstance();
    CorvaneInstance(const CorvaneInstance&) = delete;
    CorvaneInstance& operator=(const CorvaneInstance&) = delete;

    // The program folder (CORVANE_HOME of every process started from here).
    const std::string& home() const { return folder; }
    // Writes one key of ./config.ini in the program folder.
    void configure(const char* section, const char* key, const std::string& value);

    // Starts the running instance with `arguments` (standard input /dev/null, standard
    // error into stderr.txt of the folder) and waits until it serves its control socket.
    // False when it did not get there within `timeoutSeconds` (it is killed then).
    bool start(const std::vector<std::string>& arguments = {}, int timeoutSeconds = 30);
    // Runs the program once more as a messenger with `arguments` and waits for it.
    // Its exit code, or -1 when it had to be killed after `timeoutSeconds`.
    int message(const std::vector<std::string>& arguments, int timeoutSeconds = 40);
    // Sends `bytes` as they are to the control socket (one connection). False when no
    // connection could be made or not everything went out.
    bool sendRaw(const std::string& bytes) const;
    // The control socket of the program folder, as the program names it for our user.
    std::string controlSocket() const;
    // Runs the instance and messengers started from here as another user: the folder is
    // handed to that user at each start.
    void runAs(uid_t uid, gid_t gid);

    // Waits for the running instance to end: its exit code, 128 + signal when killed
    // by one, or -1 when it still runs after `timeoutSeconds`.
    int waitExit(int timeoutSeconds);
    // Sends `signal` to the running instance.
    void kill(int signal);
    bool running() const { return pid > 0; }
    pid_t processId() const { return pid; }

    // The instance's log (debugnntp.txt) as it is now.
    std::string log() const;
    // How often `text` occurs in the log now.
    int logCount(const std::string& text) const;
    // Waits until `text` occurs at least `count` times in the log. False on time-out.
    bool waitForLog(const std::string& text, int timeoutSeconds, int count = 1) const;

    // Keeps the folder after the test (for a look at a failure).
    void keep() { keepFolder = true; }

  private:
    std::string program;
    bool setHome = true; // CORVANE_HOME names the folder
    std::string folder;
    pid_t pid = -1;
    uid_t user = (uid_t)-1; // -1: our own
    gid_t group = (gid_t)-1;
    bool keepFolder = false;
};
