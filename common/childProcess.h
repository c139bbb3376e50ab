// Console programs run as child processes: found by name, started from an argument
// vector (never through a shell), their output captured, waited for.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

// The outcome of one run of a console program.
struct tchildRun {
    int error = 0;        // 0, or the errno of the step that failed (ENOENT: no such program)
    int exitCode = -1;    // the program's exit code; -1 when it did not start or was killed
    std::string output;   // what it printed on standard output and standard error, in order
    bool stopped = false; // ended by the caller's stop flag
};

// Runs arguments[0] with the rest as its arguments at idle priority, with no standard
// input, and returns once it has ended. Descriptors of the calling process never leak
// into the program. A program that cannot be executed is reported in `error`, never as
// a run with an exit code.
tchildRun runChild(const std::vector<std::string>& arguments);

// How a program is scheduled against the rest of the machine.
enum class childPriority {
    Idle,   // only on otherwise idle time: background work nobody waits for
    Normal, // as the calling process: work the user waits for
};

// Like runChild, but at `priority`, and hands the output to `line` as it arrives, one line at a time without
// its end mark, instead of keeping it: "\r" ends a line too, since progress counters
// rewrite their line with it. A line longer than 64 KiB is handed over in pieces. When
// `stop` (may be null) becomes true, the program and whatever it started are killed and
// reaped within about 100 ms, and the run comes back with `stopped` set.
tchildRun runChildLines(const std::vector<std::string>& arguments,
                        const std::function<void(const std::string&)>& line,
                        const std::atomic<bool>* stop, childPriority priority);

// True when `path` is a regular file this process may execute.
bool isExecutableFile(const std::string& path);

// Where the program `name` lives: the first of `folders` that holds it as an executable
// file, then the named folders of PATH. Empty when none does.
std::string locateProgram(const std::string& name, const std::vector<std::string>& folders);
