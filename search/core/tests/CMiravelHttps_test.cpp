// The coordinator against index sites and an update host reached over HTTPS: the real
// plug-ins and fetcher, our test web servers on loopback with certificates made for
// this run (their CA given as the trust store), a real results database.
#include "CMiravel.h"
#include "EngineWebServers.h"
#include "RecordingObserver.h"
#include "SearchHome.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

class SearchOverHttps : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(trust.certificates().ok());
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        servers = std::make_unique<EngineWebServers>(home.path, home.path,
                                                     certificates->localhost.certificate,
                                                     certificates->localhost.key);
        ASSERT_TRUE(servers->started());
        miravel = std::make_unique<CMiravel>(nullptr, &observer);
    }
    void TearDown() override {
        miravel.reset();
        unsetenv("MIRAVEL_HOME");
    }

    // The stored rows of one engine.
    std::unique_ptr<tRecordData> rowsOf(const char* engine) {
        auto page = std::make_unique<tRecordData>();
        strcpy(page->table, "results");
        miravel->selectData(*page);
        strcpy(page->column[1].filter, engine);
        miravel->selectData(*page);
        return page;
    }

    TestTrustStore trust;
    const TestCertificates* certificates = &trust.certificates();
    SearchHome home;
    std::unique_ptr<EngineWebServers> servers;
    RecordingObserver observer;
    std::unique_ptr<CMiravel> miravel;
};

} // namespace

TEST_F(SearchOverHttps, EveryEngineSearchesAndDownloadsAnNzb) {
    const std::string answer = readFile(std::string(EngineWebServers::FIXTURES) +
                                        "/binsearch/answer.nzb");
    int changes = 0;
    size_t opened = 0;
    for (const char* engine : EngineWebServers::ENGINES) {
        SCOPED_TRACE(engine);
        miravel->search(engine, "big buck bunny", "");
        ASSERT_TRUE(observer.waitChanges(++changes));
        auto rows = rowsOf(engine);
        ASSERT_GT(rows->rows, 0);
        for (int r = 0; r < rows->rows; ++r)
            EXPECT_STREQ(rows->cell(r, 1), engine);

        char ids[] = "1";
        const std::string name = std::string("film ") + engine;
        miravel->download(engine, name.c_str(), "", ids, ';');
        const std::string nzb = observer.waitOpened(++opened);
        ASSERT_EQ(nzb, "./nzb/film." + std::string(engine) + ".nzb");
        EXPECT_EQ(readFile(nzb), answer);

        const std::string requests = readFile(servers->requestLog(engine));
        EXPECT_NE(requests.find("GET "), std::string::npos);
        EXPECT_NE(requests.find("POST "), std::string::npos);
        EXPECT_NE(requests.find("\r\nHost: localhost:"), std::string::npos);
    }
}

TEST_F(SearchOverHttps, UpdateQuestionOverHttps) {
    writeFile(home.file("history.txt"), "3003 faster searches\n");
    TestWebServerProcess updates({"--root", home.path, "--route",
                                  "GET /update.php* -> history.txt", "--tls",
                                  certificates->localhost.certificate,
                                  certificates->localhost.key});
    ASSERT_GT(updates.port(), 0);
    const std::string url = "https://localhost:" + std::to_string(updates.port()) +
                            "/update.php?file=Miravel&version=3002";
    miravel->httpRequest("./tmp/history.txt", nullptr, url.c_str(), nullptr, nullptr);
    for (int i = 0; i < 500 && observer.updatePaths().empty(); ++i)
        usleep(10000);
    EXPECT_EQ(observer.updatePaths(), std::vector<std::string>{"./tmp/history.txt"});
    EXPECT_EQ(readFile(home.file("tmp/history.txt")), "3003 faster searches\n");
}
