// The outside view of a corvane download: counts read from a real article database
// (the program's own schema) while another connection writes, and the server sections
// written into a program folder's config.ini.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "ServerSections.h"
#include "TestFolders.h"
#include "articleSchema.h"
#include "profile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A program folder with an article database of two files of three segments each:
// file 1 has one segment saved and one busy, file 2 is decoded (its rows gone).
class ArticleDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(home.path.empty());
        fs::create_directories(home.file("data"));
        ASSERT_EQ(sqlite3_open(home.file("data/articles.db").c_str(), &db), SQLITE_OK);
        std::istringstream schema(ARTICLES_SCHEMA);
        // The schema's commented line fails, as it does in the program, and is skipped.
        for (std::string line; std::getline(schema, line);)
            sqlite3_exec(db, line.c_str(), nullptr, nullptr, nullptr);
        run("INSERT INTO file (fileFID, filePID, fileName, segcount) VALUES (1, 1, 'a.bin', 3)");
        run("INSERT INTO file (fileFID, filePID, fileName, segcount) VALUES (2, 1, 'b.bin', 3)");
        run("INSERT INTO segm (segmFID, segmNum, segmMsgid, segmState) VALUES "
            "(1, 1, '<a1@test>', 2), (1, 2, '<a2@test>', 1), (1, 3, '<a3@test>', 0)");
        run("INSERT INTO queu (queuFID) VALUES (1)");
        run("INSERT INTO deco (decoFID, decoCheck) VALUES (2, 2)");
        run("INSERT INTO segf (segfSID, segfHost) VALUES (3, 1)");
    }
    void TearDown() override { sqlite3_close(db); }

    void run(const char* sql) {
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }

    TempFolder home{"corvane_watch"};
    sqlite3* db = nullptr;
};

TEST_F(ArticleDatabase, CountsSegmentsOfDecodedFilesAsSavedAndNamesTheOthers) {
    DownloadWatch watch(home.path);
    DownloadCounts counts = watch.counts();
    EXPECT_EQ(counts.segments, 6);
    EXPECT_EQ(counts.saved, 4); // three of the decoded file, one of the first
    EXPECT_EQ(counts.busy, 1);
    EXPECT_EQ(counts.files, 2);
    EXPECT_EQ(counts.decoded, 1);
    EXPECT_EQ(counts.failureMarks, 1);
    std::vector<std::string> unsaved = watch.unsavedIds();
    EXPECT_EQ(std::set<std::string>(unsaved.begin(), unsaved.end()),
              (std::set<std::string>{"a2@test", "a3@test"}));
    EXPECT_TRUE(watch.intact());
}

TEST_F(ArticleDatabase, WaitsThroughTheWritersTransactionsUntilTheFileIsDecoded) {
    DownloadWatch watch(home.path);
    FILE* report = tmpfile();
    ASSERT_NE(report, nullptr);
    // The writer holds the database locked while it saves the rest and decodes, as the
    // program's queue and decoder do; the watch waits for it instead of failing.
    std::thread writer([this] {
        sqlite3* writing = nullptr;
        sqlite3_open(home.file("data/articles.db").c_str(), &writing);
        sqlite3_exec(writing, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        sqlite3_exec(writing, "UPDATE segm SET segmState=2", nullptr, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(writing,
                     "DELETE FROM segm WHERE segmFID=1; INSERT INTO deco VALUES (1, 2); COMMIT",
                     nullptr, nullptr, nullptr);
        sqlite3_close(writing);
    });
    EXPECT_TRUE(watch.waitForSaved(6, 60));
    EXPECT_TRUE(watch.waitForDecoded(2, 60, report));
    writer.join();
    EXPECT_TRUE(watch.unsavedIds().empty());

    rewind(report);
    char line[256] = {};
    std::string text;
    while (fgets(line, sizeof line, report))
        text += line;
    fclose(report);
    EXPECT_NE(text.find("saved     6 of     6 segments  decoded 2 of 2 files"), std::string::npos)
        << text;
}

TEST_F(ArticleDatabase, ADamagedOrMissingDatabaseReadsAsUnknownNotAsProgress) {
    sqlite3_close(db);
    db = nullptr;
    // Overwrite the pages behind the header: the file is still a database by its header.
    std::string path = home.file("data/articles.db");
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096);
        std::string garbage(8192, '\x5a');
        file.write(garbage.data(), (std::streamsize)garbage.size());
    }
    DownloadWatch damaged(home.path);
    EXPECT_FALSE(damaged.intact());
    EXPECT_FALSE(damaged.waitForDecoded(1, 0, nullptr));

    DownloadWatch missing(home.file("nowhere"));
    EXPECT_EQ(missing.counts().segments, -1);
    EXPECT_FALSE(missing.intact());
    EXPECT_TRUE(missing.unsavedIds().empty());
    EXPECT_FALSE(fs::exists(home.file("nowhere/data/articles.db")));
}

// The stage table is the engine's own, beside the schema.
TEST_F(ArticleDatabase, ReadsThePostStageWithItsNoteAndTheRecoveryVolumesFetched) {
    DownloadWatch watch(home.path);
    EXPECT_EQ(watch.postStage().stage, 0); // no table yet: not started
    run("CREATE TABLE postStage (pid INTEGER PRIMARY KEY, stage INTEGER, percent INTEGER, note "
        "TEXT)");
    run("INSERT INTO postStage VALUES (1, 7, 0, '13 blocks missing, 4 available')");
    PostStageRow row = watch.postStage();
    EXPECT_EQ(row.stage, 7);
    EXPECT_EQ(row.note, "13 blocks missing, 4 available");

    run("UPDATE postStage SET stage=6, note=NULL");
    FILE* report = tmpfile();
    ASSERT_NE(report, nullptr);
    row = watch.waitForPostStageEnd(0, report);
    EXPECT_EQ(row.stage, 6);
    EXPECT_EQ(row.note, "");
    rewind(report);
    char line[256] = {};
    std::string text = fgets(line, sizeof line, report) ? line : "";
    fclose(report);
    EXPECT_NE(text.find("decoded 1 of 2 files  done"), std::string::npos) << text;

    // Recovery volumes count as fetched once decoded; the index (no blocks) never does.
    run("INSERT INTO file (fileFID, filePID, fileName, parblocks) VALUES (3, 1, 's.par2', 0), "
        "(4, 1, 's.vol00+04.par2', 4), (5, 1, 's.vol04+08.par2', 8)");
    run("INSERT INTO deco (decoFID, decoCheck) VALUES (3, 2), (4, 3), (5, 2)");
    EXPECT_EQ(watch.fetchedRecoveryVolumes(), std::vector<std::string>{"s.vol04+08.par2"});
}

TEST(ServerSections, EachServerGetsASectionNamedByItsHostAndIsListed) {
    CorvaneInstance corvane("corvane_sections");
    ASSERT_FALSE(corvane.home().empty());
    addNewsServer(corvane, "127.0.0.1", 40001, 1, 4);
    addNewsServer(corvane, "localhost", 40002, 2, 2);
    std::string ini = corvane.home() + "/config.ini";
    EXPECT_EQ(profile::getString("DEFAULT", "servers", "", ini.c_str()), "127.0.0.1;localhost;");
    EXPECT_EQ(profile::getString("127.0.0.1", "hostname", "", ini.c_str()), "127.0.0.1");
    EXPECT_EQ(profile::getInt("127.0.0.1", "hostport", 0, ini.c_str()), 40001);
    EXPECT_EQ(profile::getInt("127.0.0.1", "maxconnection", 0, ini.c_str()), 4);
    EXPECT_EQ(profile::getInt("127.0.0.1", "numactive", 0, ini.c_str()), 4);
    EXPECT_EQ(profile::getString("localhost", "hostname", "", ini.c_str()), "localhost");
    EXPECT_EQ(profile::getInt("localhost", "hostport", 0, ini.c_str()), 40002);
    EXPECT_EQ(profile::getInt("localhost", "hostid", 0, ini.c_str()), 2);
    EXPECT_EQ(profile::getInt("localhost", "numactive", 0, ini.c_str()), 2);
}

} // namespace
