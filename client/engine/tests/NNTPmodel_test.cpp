// The download model over a real article database and configuration file in a temporary
// program folder: workers made from the server sections, settings kept across starts,
// the disk monitor, imports, and one download through the whole engine.
#include "NNTPmodel.h"
#include "NotificationLog.h"
#include "PostFixture.h"
#include "ProgramFolder.h"
#include "TestNewsServerProcess.h"
#include "WaitUntil.h"
#include "YencPostWriter.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

void* asData(unsigned value) {
    return (void*)(uintptr_t)value;
}

class ModelTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        ASSERT_EQ(createSchemaFile(), 0);
    }

    // A server section named by its host name, as the settings dialog writes it.
    static void server(const char* host, int hostid, int maxconnection, int numactive,
                       int port = 119) {
        profile::writeString(host, "hostname", host, CONFIG_INI);
        profile::writeInt(host, "hostport", port, CONFIG_INI);
        profile::writeInt(host, "hostid", hostid, CONFIG_INI);
        profile::writeInt(host, "maxconnection", maxconnection, CONFIG_INI);
        profile::writeInt(host, "numactive", numactive, CONFIG_INI);
    }

    static int state(NNTPmodel& model, int index) {
        NNTPmodel_iface* worker = model.getclient(index);
        return worker ? worker->cstate() : -1;
    }

    static int ini(const char* section, const char* key) {
        return profile::getInt(section, key, -1, CONFIG_INI);
    }
};

TEST_F(ModelTest, WorkersAreNumberedAcrossServersAndTheFirstNumactiveOfEachStart) {
    profile::writeString("DEFAULT", "servers", "127.0.0.1;127.0.0.2;", CONFIG_INI);
    server("127.0.0.1", 1, 2, 1);
    server("127.0.0.2", 2, 3, 3);
    NNTPmodel model;
    model.initialize(-1);
    for (int i = 0; i < 5; ++i) ASSERT_NE(model.getclient(i), nullptr) << i;
    EXPECT_EQ(model.getclient(5), nullptr);
    EXPECT_EQ(model.getclient(-1), nullptr);
    for (int i : {0, 2, 3, 4}) EXPECT_TRUE(waitUntil([&] { return state(model, i) == csIdle; }));
    EXPECT_EQ(state(model, 1), csDisabled);
    EXPECT_STREQ(model.getclient(2)->chost(), "127.0.0.2");

    // Index 255 addresses every worker; a number beyond the workers nobody.
    model.handleCommandT(cmdClientEnable, asData(0x10000 | 255), nullptr);
    EXPECT_TRUE(waitUntil([&] { return state(model, 1) == csIdle; }));
    model.handleCommandT(cmdClientEnable, asData(17), nullptr);
    model.handleCommandT(cmdClientEnable, asData(255), nullptr);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(waitUntil([&] { return state(model, i) == csDisabled; })) << i;
    model.terminate();
}

TEST_F(ModelTest, UnloadingSavesNumactiveRunByRunExceptAnIdleLastServer) {
    profile::writeString("DEFAULT", "servers", "127.0.0.1;127.0.0.2;", CONFIG_INI);
    server("127.0.0.1", 1, 2, 2);
    server("127.0.0.2", 2, 3, 3);
    NNTPmodel model;
    model.initialize(-1);
    // Counts are taken from workers that are running, so let the first one get there.
    ASSERT_TRUE(waitUntil([&] { return state(model, 0) == csIdle; }));
    // Every worker of the last server stops: its count is left as it was.
    for (unsigned i : {2u, 3u, 4u}) model.handleCommandT(cmdClientEnable, asData(i), nullptr);
    for (int i : {2, 3, 4}) ASSERT_TRUE(waitUntil([&] { return state(model, i) == csDisabled; }));
    model.handleCommandT(cmdClientEnable, asData(1), nullptr);
    ASSERT_TRUE(waitUntil([&] { return state(model, 1) == csDisabled; }));
    model.unloadservers();
    EXPECT_EQ(model.getclient(0), nullptr);
    EXPECT_EQ(ini("127.0.0.1", "numactive"), 1);
    EXPECT_EQ(ini("127.0.0.2", "numactive"), 3);

    // Every worker of an earlier server stopped: 0 is written.
    model.loadservers();
    for (int i : {0, 2, 3, 4}) ASSERT_TRUE(waitUntil([&] { return state(model, i) == csIdle; }));
    for (unsigned i : {0u, 1u}) model.handleCommandT(cmdClientEnable, asData(i), nullptr);
    for (int i : {0, 1}) ASSERT_TRUE(waitUntil([&] { return state(model, i) == csDisabled; }));
    model.terminate();
    EXPECT_EQ(ini("127.0.0.1", "numactive"), 0);
    EXPECT_EQ(ini("127.0.0.2", "numactive"), 3);
}

TEST_F(ModelTest, MoreConnectionsThanQueueSlotsCreateOnlyAsManyWorkers) {
    profile::writeString("DEFAULT", "servers", "127.0.0.1;127.0.0.2;127.0.0.3;", CONFIG_INI);
    server("127.0.0.1", 1, 16, 0);
    server("127.0.0.2", 2, 16, 0);
    server("127.0.0.3", 3, 16, 0);
    NNTPmodel model;
    model.initialize(-1);
    EXPECT_NE(model.getclient(NNTPmodel::MAX_WORKERS - 1), nullptr);
    EXPECT_EQ(model.getclient(NNTPmodel::MAX_WORKERS), nullptr);
    model.terminate();
}

TEST_F(ModelTest, TerminationSavesTheQueueSettingsWhichTheNextStartRestores) {
    {
        NNTPmodel model;
        model.initialize(-1);
        EXPECT_EQ(model.getqueue()->qenabled(), 1);
        EXPECT_EQ(model.getqueue()->qprioOn(), 0);
        EXPECT_TRUE(waitUntil([&] { return model.getdecoder()->denabled() == 1; }));
        model.handleCommandT(cmdQueueEnable, asData(0), nullptr);
        model.handleCommandT(cmdQueuePrio, asData(1), nullptr);
        model.handleCommandT(cmdDecoderEnable, asData(0), nullptr);
        ASSERT_TRUE(waitUntil([&] { return model.getdecoder()->denabled() == 0; }));
        model.terminate();
        // Terminated: the engine does no more work.
        EXPECT_EQ(model.getqueue()->qenabled(), 0);
        EXPECT_EQ(model.getclient(0), nullptr);
    }
    EXPECT_EQ(ini("DEFAULT", "queue"), 0);
    EXPECT_EQ(ini("DEFAULT", "queueprio"), 1);
    EXPECT_EQ(ini("DEFAULT", "decoder"), 0);

    NNTPmodel model;
    model.initialize(-1);
    EXPECT_EQ(model.getqueue()->qenabled(), 0);
    EXPECT_EQ(model.getqueue()->qprioOn(), 1);
    EXPECT_EQ(model.getdecoder()->denabled(), 0);
}

// Commands and decoder events arrive on their own threads and may come after the end.
TEST_F(ModelTest, ATerminatedModelNeverRestartsItsDecoder) {
    NNTPmodel model;
    model.initialize(-1);
    ASSERT_TRUE(waitUntil([&] { return model.getdecoder()->denabled() == 1; }));
    model.handleCommandT(cmdResetDB, nullptr, nullptr); // its thread clears the decoder
    model.terminate();
    model.handleEvent(evtDecodeClear, nullptr, nullptr);
    model.handleCommandT(cmdDecoderEnable, asData(1), nullptr);
    EXPECT_EQ(model.getdecoder()->denabled(), 0);
    EXPECT_EQ(ini("DEFAULT", "decoder"), 1);
}

TEST_F(ModelTest, TerminateRunsOnceAndWakesTheThreadWaitingInAccept) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, (sockaddr*)&address, sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    NNTPmodel model;
    model.initialize(listener);
    EXPECT_EQ(model.controlSocket(), listener);
    std::atomic<bool> woken{false};
    std::thread server([&] {
        accept(listener, nullptr, nullptr);
        woken = true;
    });
    std::thread command([&] { model.handleCommandT(cmdTerminate, nullptr, nullptr); });
    EXPECT_TRUE(waitUntil([&] { return woken.load(); }));
    command.join();
    server.join();
    EXPECT_EQ(model.controlSocket(), -1);
    // A second terminate finds nothing left to do.
    EXPECT_EQ(model.terminate(), 0);
    EXPECT_EQ(ini("DEFAULT", "queue"), 1);
}

TEST_F(ModelTest, LowDiskSpacePausesTheQueueAndNeverResumesIt) {
    fs::create_directories("download");
    profile::writeString("DEFAULT", "downloadto", "./download", CONFIG_INI);
    NNTPmodel model;
    std::atomic<int> asked{0};
    model.setFreeSpaceQuery([&](const std::string& folder) -> long long {
        ++asked;
        return folder == "./download" ? 100LL << 20 : 100LL << 30;
    });
    model.initialize(-1);
    ASSERT_EQ(model.getqueue()->qenabled(), 1);
    EXPECT_TRUE(waitUntil([&] { return model.getqueue()->qenabled() == 0; }, 30s));

    // The user resumes; with space enough again nothing pauses it.
    model.setFreeSpaceQuery([&](const std::string&) -> long long {
        ++asked;
        return 600LL << 20;
    });
    model.handleCommandT(cmdQueueEnable, asData(1), nullptr);
    int before = asked;
    EXPECT_TRUE(waitUntil([&] { return asked >= before + 2; }, 30s));
    EXPECT_EQ(model.getqueue()->qenabled(), 1);
}

// The window listens to the queue, so the total speed goes to the queue's observers.
TEST_F(ModelTest, TheSpeedReachesTheQueuesObservers) {
    NNTPmodel model;
    NotificationLog log;
    model.initialize(-1);
    model.getqueue()->attach(&log);
    EXPECT_TRUE(waitUntil([&] { return !log.starting("7").empty(); }, 60s));
    model.getqueue()->detach(&log);
    model.terminate();
}

TEST_F(ModelTest, ImportsNumberFromOneAndSkipWhatIsNoNzb) {
    fs::create_directories("spool");
    writeFile("one.txt", "one\n");
    writeFile("two.txt", "two\n");
    PostOptions options;
    options.spool = "spool";
    options.nzb = "post.nzb";
    makePost({"one.txt", "two.txt"}, options);

    // The import script goes to the program's temp folder, which need not exist yet.
    NNTPmodel model;
    model.initialize(-1);
    fs::create_directories("folder.nzb");
    EXPECT_EQ(model.addnzb("./missing.nzb"), -1);
    EXPECT_EQ(model.addnzb("./folder.nzb"), -1);
    EXPECT_EQ(model.addnzb("./post.nzb"), 0);
    model.handleCommandT(cmdReload, asData(1), nullptr);
    model.terminate();

    sqliteDB db;
    ASSERT_EQ(db.open("./data/articles.db"), 0);
    EXPECT_EQ(column(db, "SELECT postPID FROM post"), "1");
    EXPECT_EQ(column(db, "SELECT fileFID FROM file ORDER BY fileFID"), "1,2");
    EXPECT_FALSE(fs::exists("temp/post.sql"));
}

TEST_F(ModelTest, APostDownloadsThroughTheWholeModel) {
    fs::create_directories("spool");
    fs::create_directories("download");
    writeRandomFile("original.bin", 900 * 1000 + 77, 5);
    PostOptions options;
    options.spool = "spool";
    options.nzb = "post.nzb";
    options.partSize = 100000;
    makePost({"original.bin"}, options);
    TestNewsServerProcess news({"--spool", "spool"});
    ASSERT_NE(news.port(), 0);

    std::error_code ignored;
    fs::create_symlink(CORV_BIN_DIR "/yydecode", "yydecode", ignored);
    profile::writeString("DEFAULT", "servers", "127.0.0.1;", CONFIG_INI);
    profile::writeString("DEFAULT", "downloadto", "./download", CONFIG_INI);
    server("127.0.0.1", 1, 3, 3, news.port());
    tworkerTimes times;
    times.idleWait = 100ms;
    NNTPmodel model(times);
    model.initialize(-1);
    ASSERT_EQ(model.addnzb("./post.nzb"), 0);
    model.handleCommandT(cmdReload, asData(1), nullptr);
    EXPECT_TRUE(waitUntil([] { return readFile("download/original.bin") ==
                                      readFile("original.bin"); }, 60s));
    model.terminate();
}

} // namespace
