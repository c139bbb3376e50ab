#include "CMiravelDB.h"
#include "SearchHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

std::string row(const std::string& id, const std::string& subject, int size, int age,
                const std::string& engine = "binsearch", long long tstamp = 0) {
    return "INSERT OR IGNORE INTO result VALUES('" + id + "','" + engine + "',0,100,'1/1','" +
           subject + "',''," + std::to_string(size) + ",'a.b.test','','poster'," +
           std::to_string(age) + "," + std::to_string(tstamp) + ");\n";
}

class ResultsDatabase : public ::testing::Test {
  protected:
    SearchHome home;
    std::unique_ptr<CMiravelDB> db = std::make_unique<CMiravelDB>();

    std::unique_ptr<tRecordData> page(const char* table = "results") {
        auto p = std::make_unique<tRecordData>();
        snprintf(p->table, sizeof p->table, "%s", table);
        return p;
    }
    static int columnOf(const tRecordData& p, const char* name) {
        for (int i = 0; i < p.cols; ++i)
            if (strcmp(p.column[i].name, name) == 0) return i;
        return -1;
    }
    static void setFilter(tRecordData& p, const char* name, const char* filter) {
        int i = columnOf(p, name);
        ASSERT_GE(i, 0) << name;
        snprintf(p.column[i].filter, sizeof p.column[i].filter, "%s", filter);
    }
    // The subjects of the page, in page order, without the 'dummy' row.
    static std::vector<std::string> subjects(const tRecordData& p) {
        std::vector<std::string> out;
        int subject = columnOf(p, "subject");
        for (int r = 0; r < p.rows; ++r)
            if (strcmp(p.cell(r, 0), "dummy") != 0) out.push_back(p.cell(r, subject));
        return out;
    }
    void insertSamples() {
        std::string sql = "BEGIN;\n";
        sql += row("1", "Holiday Video Sample", 50, 1);
        sql += row("2", "holiday video full", 700, 2);
        sql += row("3", "Linux ISO", 4000, 10);
        sql += row("4", "it''s a backup", 250, 3);
        sql += row("5", "Music album", 120, 30, "nzbindex");
        sql += "COMMIT;\n";
        ASSERT_EQ(db->insertData(sql.c_str()), SQLITE_OK);
    }
};

TEST_F(ResultsDatabase, NewDatabaseListsOnlyTheEmptyDummyRow) {
    auto p = page();
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    ASSERT_EQ(p->cols, 7);
    ASSERT_EQ(p->rows, 1);
    EXPECT_STREQ(p->cell(0, 0), "dummy");
    EXPECT_STREQ(p->cell(0, columnOf(*p, "subject")), "");
    EXPECT_STREQ(p->cell(0, columnOf(*p, "size")), " ");

    struct Expected {
        const char* name;
        int width, align, type;
    } expected[] = {{"result_id", 0, 0, 2}, {"engine", 0, 0, 2}, {"pct", 0, 0, 2},
                    {"subject", 565, 0, 2}, {"size", 60, 2, 1},  {"newsgroup", 140, 0, 2},
                    {"age", 30, 2, 0}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(p->column[i].name, expected[i].name);
        EXPECT_EQ(p->column[i].width, expected[i].width) << expected[i].name;
        EXPECT_EQ(p->column[i].align, expected[i].align) << expected[i].name;
        EXPECT_EQ(p->column[i].type, expected[i].type) << expected[i].name;
    }
    EXPECT_EQ(p->sortcol, 3);
}

TEST_F(ResultsDatabase, FiltersSelectTheMatchingRows) {
    insertSamples();
    struct Case {
        const char* column;
        const char* filter;
        std::vector<std::string> subjects; // default sort: subject ascending, no case
    } cases[] = {
        {"size", ">100", {"holiday video full", "it's a backup", "Linux ISO", "Music album"}},
        {"size", "700", {"holiday video full"}},
        {"size",
         ">1;DELETE FROM result", // not a number: no condition, and no statement
         {"holiday video full", "Holiday Video Sample", "it's a backup", "Linux ISO",
          "Music album"}},
        {"age", "<=2", {"holiday video full", "Holiday Video Sample"}},
        {"size", ">200 <600", {"it's a backup"}},
        {"size", "[>=4000]", {"Linux ISO"}},
        {"subject", "HOLIDAY", {"holiday video full", "Holiday Video Sample"}},
        {"subject", "holiday !sample", {"holiday video full"}},
        {"subject", "it's", {"it's a backup"}},
        {"subject", "'", {"it's a backup"}},
        {"engine", "nzbindex", {"Music album"}},
        {"size", "!50 !4000 <500", {"it's a backup", "Music album"}},
    };
    for (const Case& c : cases) {
        auto p = page();
        ASSERT_EQ(db->selectData(*p), SQLITE_OK); // learn the columns first
        setFilter(*p, c.column, c.filter);
        EXPECT_EQ(db->selectData(*p), SQLITE_OK) << c.filter;
        EXPECT_EQ(subjects(*p), c.subjects) << c.column << " " << c.filter;
    }
}

TEST_F(ResultsDatabase, EmptyConditionsLeaveAValidStatement) {
    insertSamples();
    const char* emptyFilters[] = {" ", "[", "[>5", "  ", ">"};
    for (const char* filter : emptyFilters) {
        auto p = page();
        db->selectData(*p);
        setFilter(*p, "subject", filter);
        setFilter(*p, "size", filter);
        EXPECT_EQ(db->selectData(*p), SQLITE_OK) << "'" << filter << "'";
        EXPECT_EQ(p->rows, 6) << "'" << filter << "'";
    }
    auto p = page();
    db->selectData(*p);
    setFilter(*p, "subject", " ");
    setFilter(*p, "size", ">600");
    EXPECT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(subjects(*p), (std::vector<std::string>{"holiday video full", "Linux ISO"}));
}

TEST_F(ResultsDatabase, SortsAscendingAndDescending) {
    insertSamples();
    auto p = page();
    db->selectData(*p);
    setFilter(*p, "result_id", "!dummy");
    p->sortcol = columnOf(*p, "size");
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(subjects(*p),
              (std::vector<std::string>{"Holiday Video Sample", "Music album", "it's a backup",
                                        "holiday video full", "Linux ISO"}));
    p->desc = 1;
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(subjects(*p),
              (std::vector<std::string>{"Linux ISO", "holiday video full", "it's a backup",
                                        "Music album", "Holiday Video Sample"}));
}

TEST_F(ResultsDatabase, SizesAreShownWithTheirUnit) {
    struct Case {
        int size;
        const char* shown;
    } cases[] = {{0, " "},       {-3, " "},        {1, "1 MB"},        {999, "999 MB"},
                 {1000, "1 GB"}, {1500, "1.5 GB"}, {123456, "123 GB"}, {4200000, "4.2 TB"}};
    std::string sql = "BEGIN;\n";
    for (const Case& c : cases)
        sql += row(std::to_string(c.size), "size " + std::to_string(c.size), c.size, 0);
    sql += "COMMIT;\n";
    ASSERT_EQ(db->insertData(sql.c_str()), SQLITE_OK);
    for (const Case& c : cases) {
        auto p = page();
        db->selectData(*p);
        setFilter(*p, "result_id", ("[='" + std::to_string(c.size) + "']").c_str());
        ASSERT_EQ(db->selectData(*p), SQLITE_OK);
        ASSERT_EQ(p->rows, 1) << c.size;
        EXPECT_STREQ(p->cell(0, columnOf(*p, "size")), c.shown) << c.size;
    }
}

TEST_F(ResultsDatabase, PageStopsWhenTheCellTableIsFull) {
    std::string sql = "BEGIN;\n";
    for (int i = 0; i < 15000; ++i)
        sql += row(std::to_string(i), "post " + std::to_string(i), i, 1);
    sql += "COMMIT;\n";
    ASSERT_EQ(db->insertData(sql.c_str()), SQLITE_OK);
    auto p = page();
    EXPECT_EQ(db->selectData(*p), SQLITE_ABORT);
    EXPECT_EQ(p->rows, 14285);            // 14285 rows of 7 cells fit into 100000 offsets
    EXPECT_STREQ(p->cell(0, 0), "dummy"); // the empty subject sorts first
}

TEST_F(ResultsDatabase, ShorterPageLeavesNoOffsetOfTheLongerOne) {
    insertSamples();
    auto p = page();
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    ASSERT_EQ(p->rows, 6);
    ASSERT_GT(p->offset[5 * p->cols], 0);
    setFilter(*p, "subject", "linux");
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    ASSERT_EQ(p->rows, 1);
    for (int cell = p->cols; cell < 6 * p->cols; ++cell)
        EXPECT_EQ(p->offset[cell], 0) << cell;

    p->cols = tRecordData::MAXCOLS + 1; // a page the caller broke is set up afresh
    EXPECT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(p->cols, 7);
    EXPECT_EQ(p->rows, 6);
}

TEST_F(ResultsDatabase, CountsRowsMatchingTextFilters) {
    insertSamples();
    char filters[2][64] = {"binsearch", "holiday"};
    const char* columns[] = {"engine", "subject", nullptr};
    EXPECT_EQ(db->selectCount("results", columns, filters[0], 64), 2);
    strcpy(filters[1], "it's");
    EXPECT_EQ(db->selectCount("results", columns, filters[0], 64), 1);
    strcpy(filters[0], "");
    strcpy(filters[1], "");
    EXPECT_EQ(db->selectCount("results", columns, filters[0], 64), 6);
    EXPECT_EQ(db->selectCount("nosuchtable", columns, filters[0], 64), 0);
}

TEST_F(ResultsDatabase, AgesFollowTheDayChange) {
    time_t now = time(nullptr);
    std::string sql = "BEGIN;\n";
    sql += row("1", "today", 1, 0, "binsearch", now);
    sql += row("2", "three days", 1, 0, "binsearch", now - 3 * 86400);
    sql += "COMMIT;\n";
    ASSERT_EQ(db->insertData(sql.c_str()), SQLITE_OK);

    EXPECT_EQ(db->updateAge(), 1); // the sentinel still holds age 0
    EXPECT_EQ(db->updateAge(), 0); // same day: nothing to do
    auto ages = [&] {
        auto p = page("result");
        db->selectData(*p);
        setFilter(*p, "result_id", "!dummy");
        p->sortcol = columnOf(*p, "result_id");
        db->selectData(*p);
        int age = columnOf(*p, "age");
        return std::vector<std::string>{p->cell(0, age), p->cell(1, age)};
    };
    EXPECT_EQ(ages(), (std::vector<std::string>{"0", "3"}));

    // A stale sentinel is what a new day looks like: every age is recomputed from its stamp.
    ASSERT_EQ(db->insertData("UPDATE result SET age=age-1 WHERE result_id='dummy';"
                             "UPDATE result SET age=99;"),
              SQLITE_OK);
    EXPECT_EQ(db->updateAge(), 1);
    EXPECT_EQ(ages(), (std::vector<std::string>{"0", "3"}));
    EXPECT_EQ(db->updateAge(), 0);
}

TEST_F(ResultsDatabase, ResetKeepsOnlyTheDummyRow) {
    insertSamples();
    EXPECT_EQ(db->resetDB(), SQLITE_OK);
    char indexName[64] = "result_bysubject";
    const char* nameColumn[] = {"name", nullptr};
    EXPECT_EQ(db->selectCount("sqlite_master", nameColumn, indexName, 64), 1); // page order
    auto p = page();
    ASSERT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(p->rows, 1);
    EXPECT_EQ(db->updateAge(), 1);
    insertSamples();
}

TEST_F(ResultsDatabase, FailingScriptIsRolledBackAndLaterScriptsPersist) {
    std::string broken = "BEGIN;\n" + row("1", "first", 1, 0) +
                         "INSERT INTO nosuchtable VALUES(1);\n" + row("2", "second", 1, 0) +
                         "COMMIT;\n";
    EXPECT_NE(db->insertData(broken.c_str()), SQLITE_OK);
    std::string good = "BEGIN;\n" + row("3", "third", 1, 0) + "COMMIT;\n";
    ASSERT_EQ(db->insertData(good.c_str()), SQLITE_OK);

    db.reset(); // closing would roll back a transaction left open
    db = std::make_unique<CMiravelDB>();
    auto p = page();
    db->selectData(*p);
    EXPECT_EQ(subjects(*p), (std::vector<std::string>{"third"}));
}

TEST_F(ResultsDatabase, FixedFieldsAreNeverOverrun) {
    insertSamples();
    std::string view = "CREATE VIEW wide AS SELECT subject AS c0";
    for (int i = 1; i < 40; ++i)
        view += ", subject AS c" + std::to_string(i);
    ASSERT_EQ(db->insertData((view + " FROM result;").c_str()), SQLITE_OK);
    auto wide = page("wide");
    EXPECT_EQ(db->selectData(*wide), SQLITE_OK);
    EXPECT_EQ(wide->cols, tRecordData::MAXCOLS);
    EXPECT_EQ(wide->rows, 6);

    auto p = page();
    memset(p->table, 0, sizeof p->table);
    memcpy(p->table, "results", 7);
    db->selectData(*p);
    memset(p->column[3].filter, 'a', sizeof p->column[3].filter); // no terminator
    EXPECT_EQ(db->selectData(*p), SQLITE_OK);
    EXPECT_EQ(p->rows, 0);

    auto unterminated = page();
    memset(unterminated->table, 'x', sizeof unterminated->table);
    EXPECT_NE(db->selectData(*unterminated), SQLITE_OK);
    EXPECT_EQ(unterminated->rows, 0);
}

TEST_F(ResultsDatabase, NotConnectedStatementsReturnCannotOpen) {
    sqliteDB closed("cfg/other.db");
    EXPECT_EQ(closed.execL("SELECT 1"), SQLITE_CANTOPEN);
    EXPECT_EQ(closed.close(), SQLITE_OK);
}

TEST(DamagedResultsFile, IsReportedAndKeptUntilReset) {
    SearchHome home;
    const std::string garbage(8192, 'G');
    std::ofstream("cfg/miravel.db", std::ios::binary) << garbage;
    CMiravelDB db;
    auto p = std::make_unique<tRecordData>();
    strcpy(p->table, "results");
    EXPECT_EQ(db.selectData(*p), SQLITE_NOTADB);
    EXPECT_EQ(p->rows, 0);
    EXPECT_EQ(db.insertData(row("1", "x", 1, 0).c_str()), SQLITE_NOTADB);
    EXPECT_EQ(db.updateAge(), 0);
    std::ifstream in("cfg/miravel.db", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);

    EXPECT_EQ(db.resetDB(), SQLITE_OK);
    EXPECT_EQ(db.selectData(*p), SQLITE_OK);
    EXPECT_EQ(p->rows, 1);
}

TEST(SqliteScriptFile, RunsLinesSkippingCommentsShortAndFailingOnes) {
    SearchHome home;
    {
        std::ofstream("cfg/script.sql") << "# a comment\n"
                                           "CREATE TABLE t (v INTEGER);\n"
                                           "x\n"
                                           "INSERT INTO t VALUES(1);\n"
                                           "INSERT INTO nosuch VALUES(2);\n"
                                           "INSERT INTO t VALUES(" +
                                               std::string(5000, '3') +
                                               ");\n"
                                               "INSERT INTO t VALUES(4)";
    }
    sqliteDB db("cfg/script.db");
    ASSERT_EQ(db.resetDB("cfg/script.sql"), SQLITE_ERROR); // two lines failed
    int total = 0;
    EXPECT_EQ(db.execL("SELECT SUM(v) FROM t", cb_number, &total), SQLITE_OK);
    EXPECT_EQ(total, 5); // the last line kept its closing parenthesis
    EXPECT_EQ(db.loadL("cfg/missing.sql"), -1);
}

} // namespace
