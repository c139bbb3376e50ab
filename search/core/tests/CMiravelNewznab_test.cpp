// The coordinator with Newznab indexers: the real plug-in, fetcher and results database,
// our test web servers over HTTPS standing in for two indexers (and a third that does
// not answer), from the search to the NZB in ./nzb. The API keys must appear in no line
// the coordinator, the engine host or the fetcher writes.
#include "CMiravel.h"
#include "DaysSince.h"
#include "NewznabIndexers.h"
#include "RecordingObserver.h"
#include "SearchHome.h"
#include "SqlRows.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

class NewznabSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(trust.certificates().ok());
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        indexers = std::make_unique<NewznabIndexers>(
            home.path, std::vector<std::string>{"alpha", "beta"},
            trust.certificates().localhost.certificate, trust.certificates().localhost.key);
        ASSERT_TRUE(indexers->started());
        testing::internal::CaptureStdout();
        miravel = std::make_unique<CMiravel>(nullptr, &observer);
    }
    void TearDown() override {
        miravel.reset();
        fflush(stdout);
        const std::string log = testing::internal::GetCapturedStdout();
        // The failures were written into the captured output too.
        if (HasFailure()) fprintf(stderr, "%s", log.c_str());
        for (size_t i = 0; i < 2; ++i)
            EXPECT_EQ(log.find((*indexers)[i].key), std::string::npos) << log;
        unsetenv("MIRAVEL_HOME");
    }

    // One text per row of the engine, in id order: `cells` is an SQL expression.
    std::vector<std::string> rowsOf(const char* engine, const std::string& cells) {
        SqlRows rows;
        sqlite3* db = nullptr;
        if (sqlite3_open((home.path + "/cfg/miravel.db").c_str(), &db) == SQLITE_OK)
            sqlite3_exec(db,
                         ("SELECT " + cells + " FROM result WHERE engine='" + engine +
                          "' ORDER BY result_id")
                             .c_str(),
                         collectSqlRow, &rows, nullptr);
        sqlite3_close(db);
        std::vector<std::string> out;
        for (const auto& row : rows)
            out.push_back(row[0]);
        return out;
    }

    TestTrustStore trust;
    SearchHome home;
    std::unique_ptr<NewznabIndexers> indexers;
    RecordingObserver observer;
    std::unique_ptr<CMiravel> miravel;
};

} // namespace

TEST_F(NewznabSearch, TwoIndexersSearchAndDownloadThroughTheEnclosure) {
    ASSERT_NE(miravel->getengine("alpha"), nullptr);
    ASSERT_NE(miravel->getengine("BETA"), nullptr);

    const std::vector<std::string> ages = {std::to_string(daysSince(2026, 11, 29, 22, 15, 1)),
                                           std::to_string(daysSince(2026, 11, 30, 8, 0, 0)),
                                           std::to_string(daysSince(2026, 11, 25, 6, 0, -5))};
    int changes = 0;
    for (const char* engine : {"alpha", "beta"}) {
        SCOPED_TRACE(engine);
        miravel->search(engine, "bunny", "");
        ASSERT_TRUE(observer.waitChanges(++changes));
        const auto rows = rowsOf(engine, "result_id||'|'||size||'|'||newsgroup||'|'||category");
        EXPECT_EQ(rows,
                  (std::vector<std::string>{"6f1c2a9b3d|4400|a.b.movies|Movies > HD",
                                            "a1b2c3d4e5|700||", "c0ffee0001|350|a.b.tv|5030"}));
        EXPECT_EQ(rowsOf(engine, "age"), ages);
    }
    EXPECT_EQ(miravel->numResults("alpha", ""), 3);
    EXPECT_EQ(miravel->numResults("beta", ""), 3);

    char ids[] = "6f1c2a9b3d";
    miravel->download("alpha", "Big Buck Bunny", "", ids, ';');
    const std::string nzb = observer.waitOpened(1);
    ASSERT_EQ(nzb, "./nzb/Big.Buck.Bunny.nzb");
    EXPECT_EQ(readFile(home.path + "/nzb/Big.Buck.Bunny.nzb"), NewznabIndexers::answerNzb());

    const std::string alphaLog = readFile((*indexers)[0].requestLog());
    EXPECT_NE(alphaLog.find("GET /getnzb/6f1c2a9b3d.nzb&i=42&r=" + (*indexers)[0].key +
                            " HTTP/1.0\r\nHost: localhost:"),
              std::string::npos)
        << alphaLog;
    // Each indexer saw only its own key.
    EXPECT_EQ(alphaLog.find((*indexers)[1].key), std::string::npos);
    EXPECT_EQ(readFile((*indexers)[1].requestLog()).find((*indexers)[0].key), std::string::npos);
}

TEST_F(NewznabSearch, RefusedAnswersReachTheUserAndStoreNothing) {
    miravel->search("alpha", "nothing", ""); // an empty channel: no rows, no notice
    miravel->search("alpha", "credentials", "");
    EXPECT_EQ(observer.waitNotice(1), "alpha: error 100: Incorrect user credentials");
    miravel->search("alpha", "laughs", "");
    EXPECT_EQ(observer.waitNotice(2).rfind("alpha: answer with a document type declaration "
                                           "refused",
                                           0),
              0u);
    miravel->search("alpha", "external", "");
    EXPECT_EQ(observer.waitNotice(3).rfind("alpha: answer with a document type declaration "
                                           "refused",
                                           0),
              0u);
    EXPECT_EQ(observer.changeCount(), 0);
    EXPECT_EQ(rowsOf("alpha", "result_id").size(), 0u);

    miravel->search("alpha", "bunny", "");
    ASSERT_TRUE(observer.waitChanges(1));
    miravel->search("alpha", "drop", "");
    ASSERT_TRUE(observer.waitChanges(2));
    EXPECT_EQ(rowsOf("alpha", "result_id").size(), 4u);
    EXPECT_EQ(rowsOf("alpha", "poster").back(), "o`brien`); DELETE FROM result; --");
    EXPECT_EQ(observer.noticeCount(), 3u);
}

TEST_F(NewznabSearch, AFullPageIsFollowedByTheNextOffset) {
    miravel->search("beta", "many", "");
    ASSERT_TRUE(observer.waitChanges(2));
    EXPECT_EQ(miravel->numResults("beta", "Many item"), NewznabIndexers::MANY_ITEMS);
    const std::string log = readFile((*indexers)[1].requestLog());
    EXPECT_NE(log.find("&offset=0&q=many"), std::string::npos);
    EXPECT_NE(log.find("&offset=100&q=many"), std::string::npos);
    EXPECT_EQ(log.find("&offset=200"), std::string::npos);
}

TEST_F(NewznabSearch, AnIndexerThatCannotBeReachedIsLoggedWithoutItsKey) {
    miravel.reset();
    writeFile(home.path + "/cfg/engines.ini",
              readFile(home.path + "/cfg/engines.ini") +
                  "[gamma]\nplugin=newznab\nhost=https://127.0.0.1:1\napikey=gammakey0123\n"
                  "[binsearch]\nplugin=newznab\nhost=https://x.invalid\napikey=k\n"
                  "[search]\nplugin=newznab\nhost=https://y.invalid\napikey=k\n"
                  "[ALPHAbet]\nplugin=newznab\nhost=https://z.invalid\napikey=k\n"
                  "[delta]\nplugin=newznab\nhost=" +
                  (*indexers)[0].host +
                  "\napikey=k\n"
                  "[epsilon]\nplugin=gopher\n");
    miravel = std::make_unique<CMiravel>(nullptr, &observer);
    miravel->search("gamma", "bunny", "");
    miravel->search("alpha", "bunny", ""); // asked after gamma's attempt has ended
    ASSERT_TRUE(observer.waitChanges(1));
    miravel.reset();
    fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("fetch: cannot connect to https://127.0.0.1:1/api?t=search&apikey=***&"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("gammakey0123"), std::string::npos) << log;
    for (const char* name : {"binsearch", "search", "ALPHAbet"})
        EXPECT_NE(log.find(std::string("engine [") + name +
                           "] in cfg/engines.ini has a name that "
                           "is part of another engine's or holds one"),
                  std::string::npos)
            << name;
    EXPECT_NE(log.find("delta has the host of alpha, left out"), std::string::npos);
    EXPECT_NE(log.find("engine [epsilon] in cfg/engines.ini names an unknown plugin"),
              std::string::npos);
    testing::internal::CaptureStdout(); // for TearDown
}
