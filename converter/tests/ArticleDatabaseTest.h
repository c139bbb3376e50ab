// A fresh article database built from the schema, for the converter's load tests: the
// scripts run through the database's own script runner, as the model runs them.
#pragma once

#include "SqlRows.h"
#include "TestFolders.h"
#include "articleSchema.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <string>

class ArticleDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(folder.file("articles.sql"), ARTICLES_SCHEMA);
        ASSERT_EQ(db.open(folder.file("articles.db").c_str(), folder.file("articles.sql").c_str()),
                  0);
    }

    // The highest id stored so far, 0 in an empty table: the bases of the next import.
    int maximum(const char* sql) {
        int value = 0;
        db.exec(sql, cb_max, &value);
        return value;
    }
    int postBase() { return maximum("SELECT MAX(postPID) FROM post"); }
    int fileBase() { return maximum("SELECT MAX(fileFID) FROM file"); }

    SqlRows query(const char* sql) {
        SqlRows rows;
        db.exec(sql, collectSqlRow, &rows);
        return rows;
    }

    TempFolder folder;
    sqliteDB db;
};
