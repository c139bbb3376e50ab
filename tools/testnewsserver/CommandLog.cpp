#include "CommandLog.h"

#include <fcntl.h>
#include <unistd.h>

CommandLog::CommandLog(const std::string& path) : wanted(!path.empty()) {
    if (wanted) fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

CommandLog::~CommandLog() {
    if (fd >= 0) close(fd);
}

void CommandLog::write(int connection, const std::string& text) {
    if (fd < 0) return;
    std::string line = std::to_string(connection) + " " + text + "\n";
    std::lock_guard<std::mutex> guard(lock);
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
}
