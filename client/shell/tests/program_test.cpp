// The corvane program as users and its own window start it: the real executable in a
// temporary program folder, driven by second starts and raw control messages.
#include "CorvaneInstance.h"
#include "SmallPost.h"
#include "TestFolders.h"
#include "TestWebServerProcess.h"
#include "profile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sysexits.h>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

// How often `part` occurs in `text`.
int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// The single integer `sql` yields from the instance's article database, -1 on failure.
int queryInt(const CorvaneInstance& corvane, const char* sql) {
    sqlite3* db = nullptr;
    int value = -1;
    std::string path = corvane.home() + "/data/articles.db";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(corvane.home().empty());
        corvane.configure("DEFAULT", "autoloadGUI", "0");
    }
    void TearDown() override {
        if (HasFailure()) {
            corvane.keep();
            fprintf(stderr, "kept %s\n", corvane.home().c_str());
        }
    }

    // Sends "r" and waits until its reload is logged: every earlier message is done then.
    // Returns the number of reloads logged before the marker.
    int reloadsBeforeMarker() {
        ++markers;
        EXPECT_EQ(corvane.message({"r"}), 0);
        for (int tries = 0; tries < 600; ++tries) {
            std::string log = corvane.log();
            size_t at = std::string::npos;
            for (int i = 0; i < markers; ++i)
                at = log.find("\rr \r", at == std::string::npos ? 0 : at + 1);
            if (at != std::string::npos && log.find("loaded ", at) != std::string::npos)
                return count(log.substr(0, at), "loaded ");
            usleep(50 * 1000);
        }
        ADD_FAILURE() << "the marker's reload never came";
        return -1;
    }

    void end() {
        ASSERT_EQ(corvane.message({"x"}), 0);
        EXPECT_EQ(corvane.waitExit(60), 0);
    }

    CorvaneInstance corvane{"corvane_program"};
    int markers = 0;
};

TEST_F(Program, FirstStartPreparesTheFolderAndLaterStartsReachTheRunningInstance) {
    corvane.configure("DEFAULT", "autoloadGUI", "1");
    ASSERT_TRUE(corvane.start());
    for (const char* path : {"temp", "data", "data/articles.sql", "data/articles.db",
                             "debugnntp.txt"})
        EXPECT_TRUE(fs::exists(corvane.home() + "/" + path)) << path;

    // Without a window library "g" logs why and the instance carries on.
    EXPECT_TRUE(corvane.waitForLog("ERROR: Loadlib", 10));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Procaddr init", 10));
    EXPECT_TRUE(corvane.waitForLog("ERROR: Procaddr term", 10));

    // A second start without arguments asks the running instance to show its window.
    EXPECT_EQ(corvane.message({}), 0);
    EXPECT_TRUE(corvane.waitForLog("ERROR: Loadlib", 20, 2));
    // The start-up copy's update check arrived too.
    EXPECT_TRUE(corvane.waitForLog("\rh \r", 30));

    end();
    EXPECT_TRUE(corvane.log().find("decoder exit") != std::string::npos);
}

TEST_F(Program, FileMessagesImportAndReloadAsTheirPrefixAndExtensionSay) {
    ASSERT_TRUE(corvane.start());
    std::string in = corvane.home() + "/in";
    std::string first = makeSmallNzb(in, "first");
    std::string second = makeSmallNzb(in, "second");
    std::string upper = in + "/third.NZB";
    fs::copy_file(makeSmallNzb(in, "third"), upper);

    int reloads = reloadsBeforeMarker();
    // "l" imports without a reload.
    ASSERT_EQ(corvane.message({"l", first}), 0);
    EXPECT_EQ(reloadsBeforeMarker(), reloads + 1);
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 1);
    EXPECT_EQ(queryInt(corvane, "SELECT MIN(postPID) FROM post"), 1);

    // A path alone imports and reloads; the extension's case does not matter.
    reloads = count(corvane.log(), "loaded ");
    ASSERT_EQ(corvane.message({second}), 0);
    ASSERT_EQ(corvane.message({upper}), 0);
    EXPECT_EQ(reloadsBeforeMarker(), reloads + 2);
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 3);

    // Another extension reloads without an import; no "." at all does nothing.
    reloads = count(corvane.log(), "loaded ");
    int imports = count(corvane.log(), "add nzb:");
    ASSERT_EQ(corvane.message({in + "/notes.txt"}), 0);
    ASSERT_EQ(corvane.message({in + "/nodot"}), 0);
    EXPECT_EQ(reloadsBeforeMarker(), reloads + 1);
    EXPECT_EQ(count(corvane.log(), "add nzb:"), imports);
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 3);
    end();
}

// An import that yields nothing is no empty post: the messenger that sent it ends with
// EX_DATAERR and the reason on standard error. Compressed NZBs import like plain ones.
TEST_F(Program, ImportsAnswerTheirMessengerAndTakeCompressedNzbs) {
    ASSERT_TRUE(corvane.start());
    const std::string in = corvane.home() + "/in";
    const std::string junk = in + "/notes.nzb";
    fs::create_directories(in);
    writeFile(junk, "Only a note, no NZB.\n");
    EXPECT_EQ(corvane.message({"l", junk}), EX_DATAERR);
    EXPECT_NE(readFile(corvane.home() + "/messenger.txt").find("nzb: no files in " + junk + "\n"),
              std::string::npos);
    EXPECT_EQ(corvane.message({in + "/missing.nzb"}), EX_DATAERR);
    EXPECT_NE(readFile(corvane.home() + "/messenger.txt").find("fopen failure: " + in),
              std::string::npos);
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 0);

    const std::string plain = readFile(makeSmallNzb(in, "packed"));
    for (const char* name : {"/packed.nzb.gz", "/PACKED2.NZB.GZ"}) {
        gzFile out = gzopen((in + name).c_str(), "wb");
        gzwrite(out, plain.data(), (unsigned)plain.size());
        gzclose(out);
        EXPECT_EQ(corvane.message({"l", in + name}), 0) << name;
    }
    reloadsBeforeMarker();
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 2);
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM file WHERE fileName='packed.txt'"), 2);
    // The working scripts are gone once loaded.
    EXPECT_TRUE(fs::is_empty(corvane.home() + "/temp"));
    end();
}

TEST_F(Program, AMessageIsHandledAsItsFirst1023Bytes) {
    ASSERT_TRUE(corvane.start());
    std::string nzb = makeSmallNzb(corvane.home() + "/in", "long");
    // Blanks fill the message up to 1023 bytes; the ".txt" beyond is cut off, so the
    // last "." is the NZB's and the trailing blanks are not part of the name.
    std::string message = "l " + nzb;
    message.resize(1023, ' ');
    message += "tail.txt";
    ASSERT_TRUE(corvane.sendRaw(message));
    EXPECT_TRUE(corvane.waitForLog("delays quillmap=", 20));
    reloadsBeforeMarker();
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 1);
    end();
}

TEST_F(Program, HostileMessagesDoNoHarmAndTheInstanceStillAnswers) {
    ASSERT_TRUE(corvane.start());
    fs::create_directories(corvane.home() + "/folder.nzb");
    ASSERT_TRUE(corvane.sendRaw(std::string("\x01\xff\x7f\0 junk.nzb", 11)));
    ASSERT_TRUE(corvane.sendRaw("\xc3\x28\xa0\xa1 binary \xfe\xff.nzb"));
    ASSERT_TRUE(corvane.sendRaw(std::string(5000, 'A') + ".nzb"));
    ASSERT_TRUE(corvane.sendRaw(corvane.home() + "/missing.nzb"));
    ASSERT_TRUE(corvane.sendRaw(corvane.home() + "/folder.nzb"));
    ASSERT_TRUE(corvane.sendRaw(""));
    ASSERT_TRUE(corvane.sendRaw("zz"));
    reloadsBeforeMarker();
    EXPECT_EQ(queryInt(corvane, "SELECT COUNT(*) FROM post"), 0);
    // The first 1023 bytes of the long message hold no ".": nothing was done with it.
    EXPECT_EQ(count(corvane.log(), "add nzb:"), 3);
    end();
}

TEST_F(Program, WorkersFollowTheServerSectionsAndTheSettingsSurviveARestart) {
    // Sections are named by their host name; the idle workers never connect.
    corvane.configure("DEFAULT", "servers", "127.0.0.1;127.0.0.2;");
    corvane.configure("127.0.0.1", "hostname", "127.0.0.1");
    corvane.configure("127.0.0.1", "maxconnection", "2");
    corvane.configure("127.0.0.1", "numactive", "1");
    corvane.configure("127.0.0.2", "hostname", "127.0.0.2");
    corvane.configure("127.0.0.2", "maxconnection", "3");
    corvane.configure("127.0.0.2", "numactive", "3");
    corvane.configure("DEFAULT", "queue", "0");
    corvane.configure("DEFAULT", "queueprio", "1");
    corvane.configure("DEFAULT", "decoder", "0");
    ASSERT_TRUE(corvane.start());
    EXPECT_TRUE(corvane.waitForLog("client 0: 2 127.0.0.1 \n", 10));
    EXPECT_TRUE(corvane.waitForLog("client 2: 3 127.0.0.2 \n", 10));
    end();

    std::string ini = corvane.home() + "/config.ini";
    auto value = [&](const char* section, const char* key) {
        return profile::getInt(section, key, -1, ini.c_str());
    };
    EXPECT_EQ(value("127.0.0.1", "numactive"), 1);
    EXPECT_EQ(value("127.0.0.2", "numactive"), 3);
    EXPECT_EQ(value("DEFAULT", "queue"), 0);
    EXPECT_EQ(value("DEFAULT", "queueprio"), 1);
    EXPECT_EQ(value("DEFAULT", "decoder"), 0);
    EXPECT_EQ(corvane.log().find("decoder exit"), std::string::npos);

    // The settings are read back at the next start and saved unchanged again.
    ASSERT_TRUE(corvane.start());
    end();
    EXPECT_EQ(value("DEFAULT", "queue"), 0);
    EXPECT_EQ(value("DEFAULT", "queueprio"), 1);
    EXPECT_EQ(value("DEFAULT", "decoder"), 0);
}

TEST_F(Program, TheStartsOwnUpdateCheckAsksTheConfiguredHostAndNobodyAnswersTheBox) {
    writeFile(corvane.home() + "/update.txt", "1010 faster imports\n");
    TestWebServerProcess web({"--root", corvane.home(), "--route",
                              "GET /update.php?file=Brindle&version=1009 -> update.txt"});
    ASSERT_NE(web.port(), 0);
    corvane.configure("DEFAULT", "updatehost", web.hostPort());
    ASSERT_TRUE(corvane.start());
    // Without a terminal or a window the question counts as "No": nothing waits for it.
    EXPECT_TRUE(corvane.waitForLog("update available ... 1010 faster imports", 30));
    end();
}

TEST_F(Program, TheUpdateCheckCopyOfAnEndedInstanceEndsInsteadOfBecomingAnInstance) {
    // Started with "h" and no instance listening, as a copy whose instance already ended.
    EXPECT_EQ(corvane.message({"h"}, 20), 0);
    EXPECT_FALSE(fs::exists(corvane.home() + "/debugnntp.txt"));
    // The socket is free again for the next start.
    ASSERT_TRUE(corvane.start());
    end();
}

TEST_F(Program, AStopSignalEndsTheInstanceInOrder) {
    ASSERT_TRUE(corvane.start());
    corvane.kill(SIGTERM);
    EXPECT_EQ(corvane.waitExit(60), 0);
    EXPECT_NE(corvane.log().find("decoder exit"), std::string::npos);
    EXPECT_EQ(profile::getInt("DEFAULT", "queue", -1, (corvane.home() + "/config.ini").c_str()), 1);
}

TEST_F(Program, AMessengerThatReachesNoInstanceGivesUpWithTheSystemErrorAndNoKeyWait) {
    // A folder stands where the control socket belongs: no instance can listen there and
    // it is not a socket to be replaced, so every connect is refused.
    std::string socketPath = corvane.controlSocket();
    ASSERT_FALSE(socketPath.empty());
    ASSERT_TRUE(fs::create_directory(socketPath));
    int code = corvane.message({"g"}, 90);
    fs::remove(socketPath);
    EXPECT_EQ(code, ECONNREFUSED);
    EXPECT_NE(readFile(corvane.home() + "/messenger.txt").find("exitcode: 111  [press any key"),
              std::string::npos);
}

// Without a display the start-up error goes to standard error, the box's text included,
// and the program ends at once with 1, before it listens or makes anything.
TEST_F(Program, AnUnusableTemporaryFolderEndsTheStartWithItsReasonOnStandardError) {
    std::ofstream(corvane.home() + "/blocker") << "not a folder";
    corvane.configure("DEFAULT", "tempfolder", "./blocker/temp");
    const char* display = getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    const int code = corvane.message({"g"}, 30);
    if (display) setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(code, 1);
    const std::string output = readFile(corvane.home() + "/messenger.txt");
    EXPECT_NE(output.find("tempfolder \"./blocker/temp\" cannot be created"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Configuration Error: Configuration error, please reinstall"),
              std::string::npos)
        << output;
    EXPECT_FALSE(fs::exists(corvane.home() + "/data"));
}

} // namespace
