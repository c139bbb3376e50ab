// Shared pieces of the engine host and plug-in tests: a fresh working folder per test,
// an observer that records what the host hands on, and a real results database.
#pragma once
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MScoutletObserver.h"
#include "TestFolders.h"

// Makes a fresh folder the working directory (the plug-ins read cfg/engines.ini from
// it) and removes it afterwards.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home = std::make_unique<WorkingFolder>("scoutlet_test");
        ASSERT_FALSE(home->path.empty());
        folder_ = home->path;
        std::filesystem::create_directories("cfg");
    }
    void TearDown() override { home.reset(); }
    static std::string fixture(const std::string& name) {
        return readFile(std::string(CORV_SOURCE_DIR) + "/tests/fixtures/web/" + name);
    }

    std::unique_ptr<WorkingFolder> home;
    std::string folder_;
};

struct RecordedRequest {
    std::string file, host, path, cookie;
    bool isPost = false;
    std::string post;
};

class RecordingObserver : public MScoutletObserver {
  public:
    void httpRequest(const char* file, const char* host, const char* path, const char* post,
                     const char* cookie) override {
        requests.push_back({file, host, path, cookie, post != nullptr, post ? post : ""});
    }
    void sqlResponse(const char* sql) override { scripts.emplace_back(sql); }
    void nzbResponse(const char* file) override { nzbFiles.emplace_back(file); }
    void engineNotice(const char* text) override { notices.emplace_back(text); }

    std::vector<RecordedRequest> requests;
    std::vector<std::string> notices;
    std::vector<std::string> scripts;
    std::vector<std::string> nzbFiles;
};

// A results database with the schema the search core creates.
class ResultsDatabase {
  public:
    explicit ResultsDatabase(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        run("PRAGMA synchronous=OFF"); // a scratch database: no need to wait for the disk
        EXPECT_EQ(run("BEGIN;CREATE TABLE result (result_id TEXT, engine TEXT, hide INTEGER, pct "
                      "INTEGER, "
                      "parts TEXT, subject TEXT COLLATE NOCASE, filename TEXT COLLATE NOCASE, size "
                      "INTEGER, "
                      "newsgroup TEXT, category TEXT, poster TEXT COLLATE NOCASE, age INTEGER, "
                      "tstamp INTEGER, "
                      "UNIQUE(result_id, engine));INSERT INTO result VALUES('dummy','' ,0,0,'', "
                      "'','',0,'','','' "
                      ",0,0);CREATE VIEW results AS SELECT result_id, engine, pct, subject, size, "
                      "newsgroup, age "
                      "FROM result;CREATE VIEW ageupdate AS SELECT DISTINCT tstamp FROM "
                      "result;CREATE VIEW "
                      "ageoffsync AS SELECT age, tstamp FROM result LIMIT 1;COMMIT;"),
                  SQLITE_OK);
    }
    ~ResultsDatabase() { sqlite3_close(db_); }

    int run(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }

    // Every row of `sql`, cells joined by "|".
    std::vector<std::string> rows(const std::string& sql) {
        std::vector<std::string> out;
        sqlite3_exec(
            db_, sql.c_str(),
            [](void* arg, int columns, char** cells, char**) {
                std::string line;
                for (int c = 0; c < columns; ++c)
                    line += std::string(c ? "|" : "") + (cells[c] ? cells[c] : "");
                static_cast<std::vector<std::string>*>(arg)->push_back(line);
                return 0;
            },
            &out, nullptr);
        return out;
    }

  private:
    sqlite3* db_ = nullptr;
};
