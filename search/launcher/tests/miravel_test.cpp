// The miravel launcher as a person runs it: a child process in a fresh MIRAVEL_HOME, the
// engines pointed at test web servers on loopback.
#include "NewznabIndexers.h"
#include "TestCertificates.h"
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

    // A test web server that answers as binsearch with the fixture pages.
    void serveBinsearchFixtures() {
        binsearch = std::make_unique<TestWebServerProcess>(
            std::vector<std::string>{"--root", FIXTURES, "--routes",
                                     FIXTURES + "/binsearch/routes.txt", "--lifetime", "60"});
        ASSERT_GT(binsearch->port(), 0);
        pointEngineAt("binsearch", *binsearch);
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
    std::unique_ptr<TestWebServerProcess> binsearch;
};

TEST_F(Launcher, ConsoleSearchPrintsTheResultsTable) {
    serveBinsearchFixtures();

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

// Words typed in UTF-8 find what a page stored (here from "Caf&eacute;"), and the table
// shows it as it is, aligned by characters.
TEST_F(Launcher, Utf8WordsFindAndPrintAccentedSubjects) {
    serveBinsearchFixtures();
    Outcome search = run({"--console", "--engine", "binsearch", "--quiet", "Caf\u00e9"});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find(" Caf\u00e9 Serie S01 \"cafe.s01.part1.rar\""), std::string::npos)
        << search.out;
    EXPECT_NE(search.out.find("\n1 result\n"), std::string::npos) << search.out;
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

// Two Newznab indexers over HTTPS, each its own engine: search, rows with their sizes,
// the NZB through the enclosure, an error answer ended at once; no key in any line.
TEST_F(Launcher, NewznabIndexersFromTheConsole) {
    TestTrustStore trust; // SSL_CERT_FILE for the child too
    NewznabIndexers indexers(home, {"alpha", "beta"}, trust.certificates().localhost.certificate,
                             trust.certificates().localhost.key);
    ASSERT_TRUE(indexers.started());
    std::vector<Outcome> runs;

    runs.push_back(run({"--engine", "beta", "--filter", "", "bunny"}));
    const Outcome& search = runs.back();
    EXPECT_EQ(search.status, 0) << search.err;
    for (const char* cell : {"Big.Buck.Bunny.2008.1080p.BluRay.x264-LOOP", "4.4 GB", "a.b.movies",
                             "Sintel <Director`s Cut> & Extras", "700 MB", "a.b.tv"})
        EXPECT_NE(search.out.find(cell), std::string::npos) << cell << "\n" << search.out;

    runs.push_back(run({"--engine", "ALPHA", "--quiet", "--download", "6f1c2a9b3d", "bunny"}));
    EXPECT_EQ(runs.back().status, 1); // alpha has not searched yet: no address to fetch
    EXPECT_NE(runs.back().err.find("miravel: alpha: no NZB address stored for result 6f1c2a9b3d"),
              std::string::npos)
        << runs.back().err;
    runs.push_back(run({"--engine", "alpha", "--quiet", "bunny"}));
    EXPECT_EQ(runs.back().status, 0) << runs.back().err;
    runs.push_back(run({"--engine", "alpha", "--quiet", "--download", "6f1c2a9b3d", "my film"}));
    EXPECT_EQ(runs.back().status, 0) << runs.back().err;
    EXPECT_EQ(runs.back().out, home + "/nzb/my.film.nzb\n");
    EXPECT_EQ(readFile(home + "/nzb/my.film.nzb"), NewznabIndexers::answerNzb());

    runs.push_back(run({"--engine", "alpha", "--wait", "30", "credentials"}));
    EXPECT_EQ(runs.back().status, 1);
    EXPECT_NE(runs.back().err.find("miravel: alpha: error 100: Incorrect user credentials"),
              std::string::npos)
        << runs.back().err;
    EXPECT_EQ(runs.back().err.find("no results arrived"), std::string::npos);

    for (const Outcome& outcome : runs)
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(outcome.out.find(indexers[i].key), std::string::npos) << outcome.out;
            EXPECT_EQ(outcome.err.find(indexers[i].key), std::string::npos) << outcome.err;
        }
}
