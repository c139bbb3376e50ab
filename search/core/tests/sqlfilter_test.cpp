#include "sqlfilter.h"
#include "tRecordData.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

namespace {

struct FilterCase {
    const char* filter;
    const char* column;
    int type;
    const char* condition;
};

TEST(SqlFilter, TranslatesTheFilterLanguage) {
    const FilterCase cases[] = {
        // the language
        {">100", "size", COLTYPE_SIZE, "`size`>100 "},
        {"100", "size", COLTYPE_SIZE, "`size`=100 "},
        {"<=5", "age", COLTYPE_NUMBER, "`age`<=5 "},
        {">200 <600", "size", COLTYPE_SIZE, "`size`>200 AND `size`<600 "},
        {"[>=100]", "size", COLTYPE_SIZE, "`size`>=100 "},
        {"word", "subject", COLTYPE_TEXT, "`subject`LIKE'%word%' "},
        {"!word", "subject", COLTYPE_TEXT, "`subject`NOT LIKE'%word%' "},
        {">word", "subject", COLTYPE_TEXT, "`subject`LIKE'%word%' "},
        {"=<word", "subject", COLTYPE_TEXT, "`subject`LIKE'%word%' "},
        {"50%", "subject", COLTYPE_TEXT, "`subject`LIKE'%50%%' "},
        {"two  words ", "subject", COLTYPE_TEXT,
         "`subject`LIKE'%two%' AND `subject`LIKE'%words%' "},
        {"binsearch", "engine", COLTYPE_HIDDEN, "`engine`LIKE'%binsearch%' "},
        // apostrophes cannot end the literal
        {"don't", "subject", COLTYPE_TEXT, "`subject`LIKE'%don''t%' "},
        {"!''", "subject", COLTYPE_TEXT, "`subject`NOT LIKE'%''''%' "},
        {"x');DROP", "subject", COLTYPE_TEXT, "`subject`LIKE'%x'');DROP%' "},
        // words without a condition are left out
        {"", "size", COLTYPE_SIZE, ""},
        {" ", "subject", COLTYPE_TEXT, ""},
        {"   ", "subject", COLTYPE_TEXT, ""},
        {"[>5", "size", COLTYPE_SIZE, ""},
        {"[>5 >7", "size", COLTYPE_SIZE, "`size`>7 "},
        {">3 [<9", "size", COLTYPE_SIZE, "`size`>3 "},
        {">", "size", COLTYPE_SIZE, ""},
        {"!", "age", COLTYPE_NUMBER, ""},
        {"=abc", "size", COLTYPE_SIZE, ""},
        {">1;DELETE FROM result", "size", COLTYPE_SIZE, ""},
        {"12x <5", "age", COLTYPE_NUMBER, "`age`<5 "},
        {">-1.5 <1e3", "size", COLTYPE_SIZE, "`size`>-1.5 AND `size`<1e3 "},
        {"-inf", "size", COLTYPE_SIZE, ""},
        {"<nan", "age", COLTYPE_NUMBER, ""},
        {">0x10 <9", "size", COLTYPE_SIZE, "`size`<9 "},
        // negated numbers stay valid SQL
        {"!5", "size", COLTYPE_SIZE, "NOT `size`=5 "},
        {"!<=5", "age", COLTYPE_NUMBER, "NOT `age`<=5 "},
        {">1 !7", "age", COLTYPE_NUMBER, "`age`>1 AND NOT `age`=7 "},
        // operator runs that are no comparison are left out, the rest stays
        {"><5", "size", COLTYPE_SIZE, ""},
        {">>84 <9", "size", COLTYPE_SIZE, "`size`<9 "},
        {"=<5 =>5 <<5 !><5 !>>1", "age", COLTYPE_NUMBER, ""},
        {"<>5 ==5 >=5 !<>5", "age", COLTYPE_NUMBER,
         "`age`<>5 AND `age`==5 AND `age`>=5 AND NOT `age`<>5 "},
    };
    for (const FilterCase& c : cases) {
        std::string out = "left over";
        sqlfilter(out, c.column, c.filter, c.type);
        EXPECT_EQ(out, c.condition) << c.filter;
    }
}

// Every word a user may type makes a condition SQLite accepts in a WHERE.
TEST(SqlFilter, ConditionsOfOperatorWordsArePlainComparisons) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE result (size INTEGER)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    const char operators[] = "<=>!";
    for (char first : operators)
        for (char second : operators)
            for (char third : operators) {
                std::string word = std::string(1, first) + second + third + "5";
                word.erase(std::remove(word.begin(), word.end(), '\0'), word.end());
                std::string condition;
                sqlfilter(condition, "size", word.c_str(), COLTYPE_SIZE);
                if (condition.empty()) continue;
                std::string sql = "SELECT * FROM result WHERE " + condition;
                sqlite3_stmt* statement = nullptr;
                EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
                    << word << ": " << sql;
                sqlite3_finalize(statement);
                EXPECT_EQ(condition.find(">>"), std::string::npos) << word;
                EXPECT_EQ(condition.find("<<"), std::string::npos) << word;
            }
    sqlite3_close(db);
}

TEST(SqlFilter, NullFilterGivesNoCondition) {
    std::string out = "x";
    sqlfilter(out, "subject", nullptr, COLTYPE_TEXT);
    EXPECT_EQ(out, "");
}

} // namespace
