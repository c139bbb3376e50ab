#include "messenger.h"

#include "childProcess.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <sysexits.h>
#include <thread>
#include <unistd.h>

namespace {

std::mutex lock;
std::condition_variable idle;
std::deque<tmessengerRun> waiting;
bool running = false;
std::string program;

// The messenger's last complete line of output: the refusal it printed before ending.
std::string lastLine(const std::string& output) {
    size_t end = output.rfind('\n');
    if (end == std::string::npos) return output;
    size_t start = output.rfind('\n', end == 0 ? 0 : end - 1);
    start = start == std::string::npos || start == end ? 0 : start + 1;
    return output.substr(start, end - start);
}

std::string runningExecutable() {
    char path[4096] = {};
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, (size_t)length) : std::string();
}

void work() {
    std::unique_lock<std::mutex> guard(lock);
    while (!waiting.empty()) {
        tmessengerRun run = std::move(waiting.front());
        waiting.pop_front();
        std::vector<std::string> arguments{program.empty() ? runningExecutable() : program};
        arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
        guard.unlock();
        tchildRun result = runChild(arguments);
        if (result.error) printf("messenger: cannot start %s: %d\n", arguments[0].c_str(), result.error);
        if (result.exitCode == EX_DATAERR && run.refused) run.refused(lastLine(result.output));
        if (run.pauseAfterMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(run.pauseAfterMs));
        guard.lock();
    }
    running = false;
    idle.notify_all();
}

} // namespace

void runMessengers(std::vector<tmessengerRun> runs) {
    std::lock_guard<std::mutex> guard(lock);
    for (tmessengerRun& run : runs) waiting.push_back(std::move(run));
    if (running || waiting.empty()) return;
    running = true;
    std::thread(work).detach();
}

void setMessengerProgram(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock);
    program = path;
}

void waitForMessengers() {
    std::unique_lock<std::mutex> guard(lock);
    idle.wait(guard, [] { return !running; });
}
