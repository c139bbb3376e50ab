#include "ProgramFolder.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "msgbox.h"
#include "sqliteDB.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <string>

namespace {

int boxesShown = 0;
std::string lastBox;
int countBox(const char* text, const char* title, unsigned) {
    ++boxesShown;
    lastBox = std::string(title) + ": " + text;
    return msgbox::IDOK;
}

void runSql(const char* path, const char* sql) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path, &raw), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(raw, sql, nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(raw);
}

// A database as an older program version left it: no vers table (or another version),
// the file table without its four later columns, work in progress everywhere.
const char* OLD_DATABASE =
    "CREATE TABLE segm  ( segmSID INTEGER PRIMARY KEY,  segmFID integer, segmNum integer, "
    "  segmBytes integer, segmMsgid TEXT,   segmState integer default 0);"
    "CREATE TABLE segf  ( segfSID INTEGER,  segfHost integer default 0, UNIQUE(segfSID, segfHost));"
    "CREATE TABLE file  ( fileFID INTEGER PRIMARY KEY, filePID integer, fileSubject TEXT, "
    " filePoster TEXT,   fileDate integer, fileSize  integer default 0,  fileProgress integer "
    "default 0, fileType integer, fileGroup TEXT default '');"
    "CREATE TABLE post  ( postPID INTEGER PRIMARY KEY, postDesc TEXT,   postTarget  TEXT);"
    "CREATE TABLE deco  ( decoFID INTEGER PRIMARY KEY, decoCheck INTEGER default 0);"
    "CREATE TABLE queu  ( queuFID INTEGER PRIMARY KEY, queuPrio  INTEGER default 7);"
    "INSERT INTO post VALUES(1, 'old.nzb', '');"
    "INSERT INTO file(fileFID, filePID, fileSubject, fileType) VALUES(1, 1, 'a', 1), (2, 1, 'b', "
    "1), "
    "(3, 1, 'c', 2);"
    "INSERT INTO segm(segmSID, segmFID, segmNum, segmBytes, segmMsgid, segmState) VALUES"
    "(1, 1, 1, 100, 'a1@x', 2), (2, 1, 2, 100, 'a2@x', 1), (3, 1, 3, 50, 'a3@x', 0),"
    "(4, 2, 1, 100, 'b1@x', 2), (5, 2, 2, 100, 'b2@x', 2);"
    "INSERT INTO segf VALUES(3, 1);"
    "INSERT INTO queu(queuFID) VALUES(1);"
    "INSERT INTO deco VALUES(2, 0);"
    "INSERT INTO deco VALUES(3, 2);";

class ArticleDBTest : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        boxesShown = 0;
        msgbox::setHandler(countBox);
    }
    void TearDown() override {
        msgbox::setHandler(nullptr);
        ProgramFolder::TearDown();
    }
    // One start of the model's database steps; returns the log.
    std::string start() {
        sqliteDB db;
        testing::internal::CaptureStdout();
        openArticleDB(db);
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST_F(ArticleDBTest, FreshStartWritesTheSchemaAndCreatesTheCurrentDatabase) {
    ASSERT_EQ(createSchemaFile(), 0);
    EXPECT_EQ(readFile(ARTICLES_SQL).size(), 1343u);
    std::string log = start();
    EXPECT_NE(log.find("update check: v100\n"), std::string::npos) << log;
    EXPECT_EQ(boxesShown, 0);
    sqliteDB db;
    ASSERT_EQ(db.open(ARTICLES_DB), SQLITE_OK);
    EXPECT_EQ(column(db, "SELECT version FROM vers"), "100");
    EXPECT_EQ(
        column(db, "SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name"),
        "deco,decodedFile,file,filepost,post,postPassword,postStage,quep,queu,segf,segm,segmfile,"
        "segn,sego,vers");
}

TEST_F(ArticleDBTest, SchemaFileIsWrittenOnlyWhenMissingAndFailureIsShown) {
    writeFile(ARTICLES_SQL, "kept\n");
    EXPECT_EQ(createSchemaFile(), 0);
    EXPECT_EQ(readFile(ARTICLES_SQL), "kept\n");

    std::filesystem::remove_all("data"); // nowhere to write it
    EXPECT_EQ(createSchemaFile(), -1);
    EXPECT_EQ(boxesShown, 1);
    EXPECT_EQ(lastBox, "Configuration Error: Configuration error, please reinstall..\n"
                       "Unable to create the database");
}

TEST_F(ArticleDBTest, ScriptCutShortByAFullDiskIsNotLeftBehind) {
    // A half schema would build a broken database at the next start or reset.
    std::filesystem::create_symlink("/dev/full", ARTICLES_SQL);
    EXPECT_EQ(writeUpgradeScripts(), -1);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ARTICLES_SQL)));
    EXPECT_EQ(readFile(UPDATE_SQL).size(), 609u);
}

TEST_F(ArticleDBTest, OldDatabaseIsUpgradedOnceAndStaleTempFilesGo) {
    struct Case {
        const char* name;
        const char* versionRow; // how the old database records its version
    };
    const Case cases[] = {
        {"no vers table", ""},
        {"older version row", "CREATE TABLE vers ( versID INTEGER PRIMARY KEY, version INTEGER );"
                              "INSERT INTO vers VALUES(1, 99);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all("data");
        std::filesystem::remove_all("temp");
        std::filesystem::create_directory("data");
        std::filesystem::create_directory("temp");
        boxesShown = 0;
        runSql(ARTICLES_DB, (std::string(OLD_DATABASE) + c.versionRow).c_str());
        for (const char* name : {"temp/1.seg", "temp/2.dec", "temp/old.sql", "temp/1.1.1.segm"})
            writeFile(name, "x");

        std::string log = start();
        EXPECT_NE(log.find("update check: v"), std::string::npos);
        EXPECT_NE(log.find("update complete: 100\n"), std::string::npos) << log;
        EXPECT_EQ(boxesShown, 1);
        EXPECT_EQ(
            lastBox,
            "Update DB: Database needs to be updated.\nThis can take a while, please be patient.");
        EXPECT_EQ(readFile(UPDATE_SQL).size(), 609u);
        EXPECT_EQ(readFile(ARTICLES_SQL).size(), 1343u);
        EXPECT_FALSE(std::filesystem::exists("temp/1.seg"));
        EXPECT_FALSE(std::filesystem::exists("temp/2.dec"));
        EXPECT_FALSE(std::filesystem::exists("temp/old.sql"));
        // Segment files of the old database name segments that are fetched again.
        EXPECT_FALSE(std::filesystem::exists("temp/1.1.1.segm"));

        sqliteDB db;
        ASSERT_EQ(db.open(ARTICLES_DB), SQLITE_OK);
        EXPECT_EQ(column(db, "SELECT version FROM vers"), "100");
        EXPECT_EQ(
            column(db, "SELECT fileFID || ':' || fileName || ':' || segcount || ':' || segavail || "
                       "':' || parblocks FROM file ORDER BY fileFID"),
            "1::3:3:0,2::2:2:0,3::0:0:0");
        EXPECT_EQ(column(db, "SELECT COUNT(*) FROM segm WHERE segmState<>0"), "0");
        EXPECT_EQ(column(db, "SELECT COUNT(*) FROM segf"), "0");
        EXPECT_EQ(column(db, "SELECT queuFID FROM queu ORDER BY queuFID"), "1,2");
        EXPECT_EQ(column(db, "SELECT decoFID || ':' || decoCheck FROM deco"), "3:2");
        db.close();

        log = start();
        EXPECT_NE(log.find("update check: v100\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("update complete"), std::string::npos);
        EXPECT_EQ(boxesShown, 1);
    }
}

TEST_F(ArticleDBTest, UpgradeThatCouldNotWriteItsScriptKeepsTheOldVersion) {
    runSql(ARTICLES_DB, (std::string(OLD_DATABASE) +
                         "CREATE TABLE vers ( versID INTEGER PRIMARY KEY, version INTEGER );"
                         "INSERT INTO vers VALUES(1, 99);")
                            .c_str());
    std::filesystem::create_directory(UPDATE_SQL); // the script cannot be written
    std::string log = start();
    EXPECT_NE(log.find("update complete: 99\n"), std::string::npos) << log;
    sqliteDB db;
    ASSERT_EQ(db.open(ARTICLES_DB), SQLITE_OK);
    EXPECT_EQ(column(db, "SELECT version FROM vers"), "99");
    db.close();

    std::filesystem::remove(UPDATE_SQL); // the next start upgrades
    log = start();
    EXPECT_NE(log.find("update complete: 100\n"), std::string::npos) << log;
    EXPECT_EQ(boxesShown, 2);
}

TEST_F(ArticleDBTest, StartMakesSegmentsInWorkFetchableAgain) {
    ASSERT_EQ(createSchemaFile(), 0);
    start();
    {
        sqliteDB db;
        ASSERT_EQ(db.open(ARTICLES_DB), SQLITE_OK);
        std::lock_guard<sqliteDB> guard(db);
        db.exec("INSERT INTO segm(segmFID, segmNum, segmBytes, segmMsgid, segmState) VALUES"
                "(1, 1, 10, 'a', 1), (1, 2, 10, 'b', 2), (1, 3, 10, 'c', 0)");
    }
    start();
    sqliteDB db;
    ASSERT_EQ(db.open(ARTICLES_DB), SQLITE_OK);
    EXPECT_EQ(column(db, "SELECT segmState FROM segm ORDER BY segmNum"), "0,2,0");
    EXPECT_EQ(boxesShown, 0);
}

TEST_F(ArticleDBTest, DatabaseThatCannotBeOpenedIsNotUpgraded) {
    std::filesystem::remove_all("data"); // the database cannot be created
    std::string log = start();
    EXPECT_NE(log.find("update check: v0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("14 UPDATE segm SET segmState=0 WHERE segmState=1"), std::string::npos)
        << log;
    EXPECT_EQ(boxesShown, 0);
}

TEST_F(ArticleDBTest, ForeignFileIsLeftAloneAndNotUpgraded) {
    ASSERT_EQ(createSchemaFile(), 0);
    const std::string garbage(3000, 'G');
    writeFile(ARTICLES_DB, garbage);
    std::string log = start();
    EXPECT_NE(log.find("update skipped: ./data/articles.db is not a readable article database"),
              std::string::npos)
        << log;
    EXPECT_EQ(boxesShown, 0);
    EXPECT_EQ(readFile(ARTICLES_DB), garbage);
}

TEST_F(ArticleDBTest, BlankTempFolderKeyCleansTheDefaultFolderOnly) {
    writeFile(CONFIG_INI, "[DEFAULT]\ntempfolder=\n");
    std::filesystem::create_directory("temp");
    writeFile("temp/stale.dec", "x");
    runSql(ARTICLES_DB, OLD_DATABASE);
    std::string log = start();
    EXPECT_NE(log.find("remove: ./temp/stale.dec"), std::string::npos) << log;
    EXPECT_EQ(log.find("'/*."), std::string::npos) << log;
}
