// The optional command log of the test news server: one line per event, written at
// once so that a test can read it while the server runs.
#pragma once
#include <mutex>
#include <string>

class CommandLog {
  public:
    explicit CommandLog(const std::string& path); // empty path: no log
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    // False when a path was given but the file could not be opened.
    bool usable() const { return fd >= 0 || !wanted; }
    // Writes "<connection> <text>\n".
    void write(int connection, const std::string& text);

  private:
    bool wanted = false;
    int fd = -1;
    std::mutex lock;
};
