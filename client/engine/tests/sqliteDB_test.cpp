#include "ProgramFolder.h"
#include "articleSchema.h"
#include "sqliteDB.h"

#include <cstring>
#include <mutex>
#include <string>

namespace {

int countLines(const char* text) {
    int lines = 0;
    for (const char* c = text; *c; ++c)
        lines += *c == '\n';
    return lines;
}

class SqliteDBTest : public ProgramFolder {};

} // namespace

TEST(ArticleScripts, SchemaAndUpgradeHaveTheirFixedShape) {
    EXPECT_EQ(strlen(ARTICLES_SCHEMA), 1343u);
    EXPECT_EQ(countLines(ARTICLES_SCHEMA), 12);
    EXPECT_EQ(strlen(ARTICLES_UPDATE), 609u);
    EXPECT_EQ(countLines(ARTICLES_UPDATE), 14);
    EXPECT_EQ(ARTICLES_SCHEMA[strlen(ARTICLES_SCHEMA) - 1], '\n');
    EXPECT_EQ(ARTICLES_UPDATE[strlen(ARTICLES_UPDATE) - 1], '\n');
}

TEST_F(SqliteDBTest, ScriptRunnerSkipsShortAndCommentLines) {
    writeFile("script.sql", "CREATE TABLE t (a TEXT)\n"
                            "\n"
                            "x\n" // two characters: not executed
                            "#INSERT INTO t VALUES('comment')\n"
                            "INSERT INTO t VALUES('one')\n"
                            "INSERT INTO t VALUES('two')X"); // loses its last character
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    testing::internal::CaptureStdout();
    db.load("script.sql");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(column(db, "SELECT a FROM t ORDER BY rowid"), "one,two");
}

TEST_F(SqliteDBTest, LastLineWithoutLineFeedLosesItsLastCharacter) {
    writeFile("script.sql", "CREATE TABLE t (a TEXT)\nINSERT INTO t VALUES('cut')");
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    testing::internal::CaptureStdout();
    db.load("script.sql");
    fflush(stdout);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("SQLerr: "), std::string::npos);
    EXPECT_EQ(column(db, "SELECT COUNT(*) FROM t"), "0");
}

TEST_F(SqliteDBTest, OverLongLineIsSkippedWholeNeverSplit) {
    const std::string head = "SELECT 1 --";
    // Split at 4095 characters, the head would run as a comment-only statement and the
    // tail as an insert of its own.
    std::string overlong =
        head + std::string(4095 - head.size(), 'x') + "INSERT INTO t VALUES('tail')\n";
    std::string insert = "INSERT INTO t VALUES('";
    std::string longest = insert + std::string(4094 - insert.size() - 2, 'b') + "')\n"; // 4095
    std::string oneMore = insert + std::string(4095 - insert.size() - 2, 'c') + "')\n"; // 4096
    ASSERT_EQ(longest.size(), 4095u);
    writeFile("script.sql", "CREATE TABLE t (a TEXT)\n" + overlong + longest + oneMore +
                                "INSERT INTO t VALUES('after')\n");
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    testing::internal::CaptureStdout();
    db.load("script.sql");
    fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("longer than 4095"), std::string::npos) << log;
    EXPECT_EQ(column(db, "SELECT substr(a,1,1) || length(a) FROM t ORDER BY rowid"), "b4070,a5");
}

TEST_F(SqliteDBTest, FailingStatementIsReportedAndTheScriptGoesOn) {
    writeFile("script.sql", "CREATE TABLE t (a TEXT UNIQUE)\nINSERT INTO t VALUES('a')\n"
                            "INSERT INTO t VALUES('a')\nINSERT INTO t VALUES('b')\n");
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    testing::internal::CaptureStdout();
    db.load("script.sql");
    db.load("missing.sql"); // ignored silently
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQLerr: UNIQUE constraint failed: t.a\n");
    EXPECT_EQ(column(db, "SELECT a FROM t ORDER BY rowid"), "a,b");
}

TEST_F(SqliteDBTest, OpenTwiceKeepsTheConnection) {
    sqliteDB db;
    EXPECT_EQ(db.open(nullptr), SQLITE_CANTOPEN);
    ASSERT_EQ(db.open("first.db"), SQLITE_OK);
    sqlite3* first = db.db;
    EXPECT_EQ(db.open("second.db"), SQLITE_OK);
    EXPECT_EQ(db.db, first);
    EXPECT_FALSE(std::filesystem::exists("second.db"));
    EXPECT_EQ(db.close(), SQLITE_OK);
    EXPECT_EQ(db.db, nullptr);
    EXPECT_EQ(db.close(), 0);
}

TEST_F(SqliteDBTest, ClosedConnectionFailsWithCode14AndTheUsualLine) {
    sqliteDB db;
    int value = 5;
    testing::internal::CaptureStdout();
    {
        std::lock_guard<sqliteDB> guard(db);
        EXPECT_EQ(db.exec("SELECT 7", cb_max, &value), SQLITE_CANTOPEN);
    }
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQLerr(0): 14 SELECT 7 \n");
    EXPECT_EQ(value, 5);
}

TEST_F(SqliteDBTest, CbMaxKeepsTheValueWhenThereIsNone) {
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    std::lock_guard<sqliteDB> guard(db);
    db.exec("CREATE TABLE post (postPID INTEGER PRIMARY KEY)");
    int max = 0;
    EXPECT_EQ(db.exec("SELECT MAX(postPID) FROM post", cb_max, &max), SQLITE_OK);
    EXPECT_EQ(max, 0);
    db.exec("INSERT INTO post VALUES(3)");
    db.exec("INSERT INTO post VALUES(41)");
    EXPECT_EQ(db.exec("SELECT MAX(postPID) FROM post", cb_max, &max), SQLITE_OK);
    EXPECT_EQ(max, 41);
}

TEST_F(SqliteDBTest, OpenWithScriptBuildsAMissingDatabaseAndResetRebuildsIt) {
    writeFile(ARTICLES_SQL, ARTICLES_SCHEMA);
    sqliteDB db;
    testing::internal::CaptureStdout();
    ASSERT_EQ(db.open(ARTICLES_DB, ARTICLES_SQL), SQLITE_OK);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "reset DB './data/articles.db' './data/articles.sql' ....!\n");
    EXPECT_EQ(column(db, "SELECT version FROM vers"), "100");
    // The commented-out queu definition with its UNIQUE pair has no effect.
    EXPECT_EQ(column(db, "SELECT instr(sql, 'UNIQUE') FROM sqlite_master WHERE name='queu'"), "0");

    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("INSERT INTO post VALUES(1, 'a.nzb', '')");
    }
    testing::internal::CaptureStdout();
    db.resetDB(ARTICLES_SQL);
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(db.db, nullptr);
    EXPECT_EQ(column(db, "SELECT COUNT(*) FROM post"), "0");
    // A file's segments are found through an index, not by scanning them all.
    std::string plan;
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec(
            "EXPLAIN QUERY PLAN SELECT SUM(segmBytes) FROM segm WHERE segmFID==1",
            [](void* out, int columns, char** values, char**) {
                *static_cast<std::string*>(out) += values[columns - 1];
                return 0;
            },
            &plan);
    }
    EXPECT_NE(plan.find("segmfile"), std::string::npos) << plan;
    EXPECT_EQ(column(db, "SELECT version FROM vers"), "100");

    // An existing database is opened as it is.
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("INSERT INTO post VALUES(2, 'b.nzb', '')");
    }
    db.close();
    ASSERT_EQ(db.open(ARTICLES_DB, ARTICLES_SQL), SQLITE_OK);
    EXPECT_EQ(column(db, "SELECT postPID FROM post"), "2");
}

TEST_F(SqliteDBTest, ResetRebuildsTheFileThatWasOpened) {
    writeFile("schema.sql", "CREATE TABLE x (a INTEGER)\n");
    sqliteDB db;
    testing::internal::CaptureStdout();
    ASSERT_EQ(db.open("other.db", "schema.sql"), SQLITE_OK);
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(column(db, "SELECT COUNT(*) FROM x"), "0");
    EXPECT_FALSE(std::filesystem::exists(ARTICLES_DB));
}

TEST_F(SqliteDBTest, KeptStatementsBindRunAgainAndReportWithTheirValues) {
    sqliteDB db;
    ASSERT_EQ(db.open("test.db"), SQLITE_OK);
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("CREATE TABLE t (a INTEGER PRIMARY KEY, b INTEGER)");
        // The same text again and again: one kept statement, fresh values each time.
        for (long long a = 1; a <= 50; ++a)
            ASSERT_EQ(db.execBound("INSERT INTO t VALUES(?,?)", {a, a * 10}), SQLITE_OK);
        int value = 0;
        EXPECT_EQ(db.execBound("SELECT b FROM t WHERE a=?", {7}, cb_max, &value), SQLITE_OK);
        EXPECT_EQ(value, 70);
        EXPECT_EQ(db.execBound("SELECT a FROM t WHERE a>? ORDER BY a", {45}, cb_max, &value),
                  SQLITE_OK);
        EXPECT_EQ(value, 50); // every row reached the callback, the last one stays

        // A callback that stops early leaves no read behind: the next transaction commits.
        auto stop = [](void*, int, char**, char**) { return 1; };
        EXPECT_EQ(db.execBound("SELECT a FROM t", {}, stop), SQLITE_ABORT);
        EXPECT_EQ(db.exec("BEGIN"), SQLITE_OK);
        EXPECT_EQ(db.execBound("UPDATE t SET b=? WHERE a=?", {5, 1}), SQLITE_OK);
        EXPECT_EQ(db.exec("COMMIT"), SQLITE_OK);

        testing::internal::CaptureStdout();
        EXPECT_EQ(db.execBound("INSERT INTO t VALUES(?,?)", {3, 4}), SQLITE_CONSTRAINT);
        EXPECT_EQ(db.execBound("SELECT nope FROM t WHERE a=?", {1}), SQLITE_ERROR);
        fflush(stdout);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find(": 19 INSERT INTO t VALUES(3,4) \n"), std::string::npos) << log;
        EXPECT_NE(log.find(": 1 SELECT nope FROM t WHERE a=? \n"), std::string::npos) << log;
    }
    // Kept statements never hold the connection open, and nothing runs after the close.
    EXPECT_EQ(db.close(), SQLITE_OK);
    std::lock_guard<sqliteDB> guard(db);
    testing::internal::CaptureStdout();
    EXPECT_EQ(db.execBound("SELECT a FROM t WHERE a=?", {1}), SQLITE_CANTOPEN);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQLerr(0): 14 SELECT a FROM t WHERE a=? \n");
}
