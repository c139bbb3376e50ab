#include "childProcess.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>

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

} // namespace
