#include "childProcess.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>

namespace {

void makeProgram(const std::string& path, const std::string& script) {
    writeFile(path, "#!/bin/sh\n" + script + "\n");
    chmod(path.c_str(), 0755);
}

TEST(ChildProcess, ExitCodeOutputAndPriorityReachTheCaller) {
    struct Row {
        const char* script;
        int exitCode;
        const char* output;
    } rows[] = {
        {"echo out; echo err >&2; exit 0", 0, "out\nerr\n"},
        {"printf 'no line end'; exit 3", 3, "no line end"},
        {"kill -9 $$", -1, ""},
        // The idle scheduling class shows as policy 5 in the child's stat line.
        {"cut -d' ' -f41 /proc/self/stat", 0, "5\n"},
    };
    for (const Row& row : rows) {
        tchildRun run = runChild({"/bin/sh", "-c", row.script});
        EXPECT_EQ(run.error, 0) << row.script;
        EXPECT_EQ(run.exitCode, row.exitCode) << row.script;
        EXPECT_EQ(run.output, row.output) << row.script;
    }
}

TEST(ChildProcess, ArgumentsArriveUnchangedWithoutAShell) {
    tchildRun run = runChild({"/usr/bin/printf", "%s|", "a b", "'q'", "$HOME", "*"});
    EXPECT_EQ(run.output, "a b|'q'|$HOME|*|");
}

TEST(ChildProcess, AProgramThatCannotStartIsAnErrorNotAnExitCode) {
    TempFolder folder;
    writeFile(folder.file("plain"), "not a program");
    chmod(folder.file("plain").c_str(), 0755);
    for (const std::string& program : {folder.file("nothere"), folder.file("plain")}) {
        tchildRun run = runChild({program});
        EXPECT_NE(run.error, 0) << program;
        EXPECT_EQ(run.exitCode, -1) << program;
    }
    EXPECT_EQ(runChild({folder.file("nothere")}).error, ENOENT);
    EXPECT_EQ(runChild({}).error, ENOENT);
}

TEST(ChildProcess, ProgramsAreFoundInTheGivenFoldersFirstThenOnPath) {
    TempFolder first;
    TempFolder second;
    makeProgram(second.file("tool"), "exit 0");
    makeProgram(first.file("tool"), "exit 0");
    writeFile(second.file("notexec"), "data");
    EXPECT_EQ(locateProgram("tool", {first.path, second.path}), first.file("tool"));
    EXPECT_EQ(locateProgram("tool", {"", second.path}), second.file("tool"));
    EXPECT_EQ(locateProgram("notexec", {second.path}), "");
    EXPECT_EQ(locateProgram("sh", {first.path}).empty(), false);
    EXPECT_EQ(locateProgram("no-such-program-anywhere", {first.path}), "");
}

std::vector<std::string> linesOf(const std::string& script, tchildRun& run,
                                 childPriority priority = childPriority::Idle) {
    std::vector<std::string> lines;
    run = runChildLines(
        {"/bin/sh", "-c", script}, [&](const std::string& line) { lines.push_back(line); },
        nullptr, priority);
    return lines;
}

TEST(ChildProcessLines, LinesEndAtLineFeedsAndCarriageReturns) {
    tchildRun run;
    std::vector<std::string> lines =
        linesOf("printf 'a\\nRepairing: 1%%\\rRepairing: 2%%\\r\\nlast'; exit 4", run);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "Repairing: 1%", "Repairing: 2%", "", "last"}));
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_FALSE(run.stopped);
    EXPECT_TRUE(run.output.empty());

    // Standard error arrives in the same stream; an endless line comes in bounded pieces.
    lines = linesOf("echo err >&2; head -c 200000 /dev/zero | tr '\\0' x", run);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "err");
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(lines[i].size(), 64u * 1024) << i;
    EXPECT_EQ(lines[4].size(), 200000u - 3 * 64 * 1024);
}

TEST(ChildProcessLines, ThePriorityAskedForIsThePriorityTheProgramRunsAt) {
    // Policy 5 is the idle class; 0 the normal one this test runs at.
    const std::string policy = "cut -d' ' -f41 /proc/self/stat";
    tchildRun run;
    EXPECT_EQ(linesOf(policy, run, childPriority::Idle), std::vector<std::string>{"5"});
    EXPECT_EQ(linesOf(policy, run, childPriority::Normal), std::vector<std::string>{"0"});
}

TEST(ChildProcessLines, StopKillsTheProgramAndWhatItStarted) {
    TempFolder folder;
    std::string pidFile = folder.file("pid");
    std::atomic<bool> stop{false};
    std::vector<std::string> lines;
    // The script starts a grandchild, tells its id, then waits on it: both must go.
    tchildRun run = runChildLines(
        {"/bin/sh", "-c", "sleep 60 & echo $! > " + pidFile + "; echo started; wait"},
        [&](const std::string& line) {
            lines.push_back(line);
            if (line == "started") stop = true;
        },
        &stop, childPriority::Idle);
    EXPECT_TRUE(run.stopped);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.error, 0);
    EXPECT_EQ(lines, std::vector<std::string>{"started"});
    pid_t grandchild = std::stoi(readFile(pidFile));
    // Killed but perhaps not yet reaped by init: gone or a zombie, never sleeping on.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        std::string stat = readFile("/proc/" + std::to_string(grandchild) + "/stat");
        gone = stat.empty() || stat.find(") Z") != std::string::npos;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

TEST(ChildProcessLines, AStopSetBeforeTheStartEndsTheRunAndAMissingProgramIsAnError) {
    std::atomic<bool> stop{true};
    int calls = 0;
    auto count = [&](const std::string&) { ++calls; };
    tchildRun run = runChildLines({"/bin/sh", "-c", "sleep 60"}, count, &stop, childPriority::Idle);
    EXPECT_TRUE(run.stopped);
    run = runChildLines({"/no/such/program"}, count, &stop, childPriority::Idle);
    EXPECT_EQ(run.error, ENOENT);
    EXPECT_FALSE(run.stopped);
    EXPECT_EQ(calls, 0);
}

} // namespace
