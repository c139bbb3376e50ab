// A fresh temporary program folder that is the working directory for one test; the
// previous working directory is restored and the folder removed afterwards. The
// working directory is process-wide, so tests using it live in one executable.
#pragma once
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>

class ProgramFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        char pattern[] = "/tmp/artdb_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        std::filesystem::current_path(folder);
        std::filesystem::create_directory("data");
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
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

    std::filesystem::path previous;
    std::filesystem::path folder;
};
