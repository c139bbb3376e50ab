// A fresh temporary program folder that is the working directory for one test; the
// previous working directory is restored and the folder removed afterwards. The
// working directory is process-wide, so tests using it live in one executable.
#pragma once
#include "TestFolders.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

class ProgramFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::make_unique<WorkingFolder>("artdb_test");
        ASSERT_FALSE(folder->path.empty());
        std::filesystem::create_directory("data");
    }
    void TearDown() override { folder.reset(); }

    // The first column of every row of `sql`, joined by ",".
    static std::string column(sqliteDB& db, const char* sql) {
        std::string rows;
        auto collect = [](void* out, int, char** values, char**) {
            auto* text = static_cast<std::string*>(out);
            if (!text->empty()) *text += ",";
            *text += values[0] ? values[0] : "NULL";
            return 0;
        };
        std::lock_guard<sqliteDB> guard(db);
        db.exec(sql, collect, &rows);
        return rows;
    }

    std::unique_ptr<WorkingFolder> folder;
};
