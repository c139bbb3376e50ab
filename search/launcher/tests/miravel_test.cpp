// The miravel launcher as a person runs it: a child process in a fresh MIRAVEL_HOME, the
// engines pointed at test web servers on loopback.
#include "TestWebServerProcess.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string FIXTURES = CORV_SOURCE_DIR "/tests/fixtures/web";
const std::string MIRAVEL = CORV_BIN_DIR "/miravel";

struct Outcome {
    int status = -1; // exit code, -1 when it had to be killed
    std::string out, err;
};

class Launcher : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path.empty());
        std::filesystem::create_directories(home + "/cfg");
    }

    void pointEngineAt(const char* engine, const TestWebServerProcess& server) {
        std::ofstream(home + "/cfg/engines.ini", std::ios::app)
            << "[" << engine << "]\nhost=" << server.hostPort() << "\n";
    }

    // Runs the launcher with MIRAVEL_HOME set; killed if it outlives 60 s.
    Outcome run(const std::vector<std::string>& arguments) {
        const std::string outFile = home + "/stdout", errFile = home + "/stderr";
        pid_t child = fork();
        if (child == 0) {
            setenv("MIRAVEL_HOME", home.c_str(), 1);
            int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{(char*)MIRAVEL.c_str()};
            for (const std::string& a : arguments)
                argv.push_back((char*)a.c_str());
            argv.push_back(nullptr);
            execv(MIRAVEL.c_str(), argv.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (status != -1 && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
        outcome.out = readFile(outFile);
        outcome.err = readFile(errFile);
        return outcome;
    }

    TempFolder temp{"miravel_launcher"};
    std::string home = temp.path;
};

TEST_F(Launcher, ConsoleSearchPrintsTheResultsTable) {
    TestWebServerProcess server(
        {"--root", FIXTURES, "--routes", FIXTURES + "/binsearch/routes.txt", "--lifetime", "60"});
    ASSERT_GT(server.port(), 0);
    pointEngineAt("binsearch", server);

    Outcome search = run({"--console", "--engine", "binsearch", "--quiet", "big buck bunny"});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find("subject"), std::string::npos) << search.out;
    EXPECT_NE(search.out.find("Big Buck Bunny 1080p"), std::string::npos) << search.out;
    EXPECT_NE(search.out.find("1706213370"), std::string::npos) << search.out;
    EXPECT_EQ(search.out.find("CMiravelDB::"), std::string::npos); // diagnostics stay apart

    Outcome verbose = run({"--engine", "BINSEARCH", "--filter", "nfo", "--limit", "1", "bunny"});
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_NE(verbose.out.find("bunny.nfo"), std::string::npos) << verbose.out;
    EXPECT_NE(verbose.err.find("CMiravelDB:: fetch rowdata results"), std::string::npos);

    Outcome nzb = run({"--console", "--quiet", "--download", "1706213370,1706213371", "my film"});
    EXPECT_EQ(nzb.status, 0) << nzb.err;
    EXPECT_EQ(nzb.out, home + "/nzb/my.film.nzb\n");
    EXPECT_EQ(readFile(home + "/nzb/my.film.nzb"), readFile(FIXTURES + "/binsearch/answer.nzb"));
}

TEST_F(Launcher, SilentSiteEndsWithAClearMessageInTime) {
    TestWebServerProcess server({"--silent", "--lifetime", "60"});
    ASSERT_GT(server.port(), 0);
    pointEngineAt("nzbindex", server);
    Outcome search = run({"--console", "--engine", "nzbindex", "--wait", "1", "words"});
    EXPECT_EQ(search.status, 1);
    EXPECT_NE(search.err.find("no results arrived from nzbindex within 1 s"), std::string::npos)
        << search.err;
}

TEST_F(Launcher, BadRequestsAreExplained) {
    Outcome unknown = run({"--console", "--engine", "nosuchsite", "--quiet", "words"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no engine \"nosuchsite\""), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("binsearch nzbindex yabsearch"), std::string::npos);

    Outcome option = run({"--console", "--wait", "soon", "words"});
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("--wait takes a number"), std::string::npos) << option.err;

    Outcome nothing = run({"--console"});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_NE(nothing.err.find("nothing to search"), std::string::npos);

    Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--download IDS"), std::string::npos);
}

TEST_F(Launcher, VersionAndUnknownOptionsAnswerWithoutStartingAnything) {
    Outcome version = run({"--version", "--console"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("miravel ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);

    // A short option that is not known is refused as well as a long one, in one line.
    for (const char* option : {"--frobnicate", "-q"}) {
        Outcome bad = run({option, "words"});
        EXPECT_EQ(bad.status, 2) << option;
        EXPECT_EQ(bad.err, std::string("miravel: unknown option ") + option +
                               " (miravel --help lists the options)\n");
        EXPECT_EQ(bad.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(home + "/cfg/miravel.db")) << "nothing was started";
}

} // namespace
