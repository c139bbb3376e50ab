// The Newznab plug-in through the engine host: indexer sections of cfg/engines.ini, the
// answers of tests/fixtures/web/newznab read into a real results database, refused
// answers, paging and NZB addresses. No network: pages are handed over directly.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "CScoutlet.h"
#include "DaysSince.h"
#include "ScoutletTestSupport.h"

namespace {

const char kHost[] = "https://localhost:4443";
const char kKey[] = "alphakey0123456789abcdef";

class NewznabTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        db_ = std::make_unique<ResultsDatabase>(folder_ + "/cfg/miravel.db");
        writeFile("cfg/engines.ini", std::string("[alpha]\nplugin=newznab\nhost=") + kHost +
                                         "\napikey=" + kKey +
                                         "\n[beta]\nplugin=newznab\nhost=https://beta.invalid\n"
                                         "apikey=betakey\ngroupsearch=0\ncategories=2000,5030\n");
    }

    // A fixture answer as the loopback indexer "alpha" serves it.
    static std::string answer(const std::string& file) {
        std::string text = fixture("newznab/" + file);
        for (const auto& [mark, value] :
             {std::pair<std::string, std::string>{"@HOST@", kHost}, {"@KEY@", kKey}})
            for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
                text.replace(at, mark.size(), value);
        return text;
    }

    // Parses `page` as engine `engine` and stores the script it handed on, if any.
    int parse(CScoutlet& engine, std::string page) {
        const size_t before = observer_.scripts.size();
        const int result = engine.parse(page.data(), (int)page.size());
        if (observer_.scripts.size() > before) {
            EXPECT_EQ(db_->run(observer_.scripts.back()), SQLITE_OK) << observer_.scripts.back();
        }
        return result;
    }

    std::vector<std::string> rows(const std::string& columns) {
        return db_->rows("SELECT " + columns + " FROM result WHERE result_id<>'dummy' ORDER BY " +
                         "result_id");
    }

    RecordingObserver observer_;
    std::unique_ptr<ResultsDatabase> db_;
};
TEST_F(NewznabTest, EveryIndexerSectionIsAnEngineOfItsOwn) {
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    CScoutlet beta(observer_, "tarn.so", "BETA");
    ASSERT_NE(alpha.index(), 0);
    ASSERT_NE(beta.index(), 0);
    EXPECT_STREQ(alpha.name(), "alpha");
    EXPECT_STREQ(beta.name(), "BETA"); // the name as the host gave it
    EXPECT_STREQ(alpha.host(), kHost);
    EXPECT_STREQ(beta.host(), "https://beta.invalid");
    EXPECT_TRUE(alpha.downloadsByLink());

    tsearch words;
    words.keyword = "Café bunny";
    alpha.search(words);
    beta.search(words);
    tsearch group;
    group.group = "alt.binaries.movies";
    alpha.search(group);
    beta.search(group);
    ASSERT_EQ(observer_.requests.size(), 4u);
    EXPECT_EQ(observer_.requests[0].host, kHost);
    EXPECT_EQ(observer_.requests[0].path, std::string("/api?t=search&apikey=") + kKey +
                                              "&limit=100&offset=0&q=Caf%C3%A9+bunny");
    EXPECT_FALSE(observer_.requests[0].isPost);
    EXPECT_EQ(observer_.requests[1].path,
              "/api?t=search&apikey=betakey&limit=100&offset=0&cat=2000,5030&q=Caf%C3%A9+bunny");
    EXPECT_EQ(observer_.requests[2].path, std::string("/api?t=search&apikey=") + kKey +
                                              "&limit=100&offset=0&group=alt.binaries.movies");
    // An indexer without group search is asked for its latest items.
    EXPECT_EQ(observer_.requests[3].path,
              "/api?t=search&apikey=betakey&limit=100&offset=0&cat=2000,5030");
    EXPECT_EQ(observer_.requests[0].file.rfind("tmp/tarn", 0), 0u);
}

TEST_F(NewznabTest, UnusableSectionsAreLoggedWithoutTheirKey) {
    const std::string longKey(120, 'k');
    writeFile("cfg/engines.ini",
              "[nokey]\nplugin=newznab\nhost=https://a.invalid\n"
              "[badkey]\nplugin=newznab\nhost=https://b.invalid\napikey=sec&ret\n"
              "[nohost]\nplugin=newznab\napikey=secret1\n"
              "[ftp]\nplugin=newznab\nhost=ftp://c.invalid\napikey=secret2\n"
              "[longkey]\nplugin=newznab\nhost=https://d.invalid\napikey=" +
                  longKey +
                  "\n[badcats]\nplugin=newznab\nhost=https://e.invalid\napikey=secret3\n"
                  "categories=2000;DROP\n");
    testing::internal::CaptureStdout();
    for (const char* section : {"nokey", "badkey", "nohost", "ftp", "longkey", "badcats", ""}) {
        CScoutlet engine(observer_, "tarn.so", section);
        EXPECT_EQ(engine.index(), 0) << section;
    }
    fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    for (const char* line : {"nokey:: apikey", "badkey:: apikey", "nohost:: host", "ftp:: host",
                             "longkey:: the search request does not fit", "badcats:: categories",
                             "tarn:: serves only indexers named"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    for (const std::string& key : {std::string("sec&ret"), std::string("secret1"),
                                   std::string("secret2"), std::string("secret3"), longKey})
        EXPECT_EQ(log.find(key), std::string::npos) << key;
}

TEST_F(NewznabTest, ItemsBecomeRowsWithEveryField) {
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    ASSERT_EQ(parse(alpha, answer("search.xml")), kParseHasRows);
    const std::string host = kHost;
    EXPECT_EQ(
        rows("result_id, engine, pct, parts, subject, filename, size, newsgroup, category, "
             "poster"),
        (std::vector<std::string>{
            // every attribute; the first group and the first category element
            "6f1c2a9b3d|alpha|0|/|Big.Buck.Bunny.2008.1080p.BluRay.x264-LOOP|" + host +
                "/getnzb/6f1c2a9b3d.nzb&i=42&r=" + kKey +
                "|4400|a.b.movies|Movies > HD|rabbit@example.org (Rabbit Hole)",
            // no attributes: the enclosure's length; CDATA kept as written
            "a1b2c3d4e5|alpha|0|/|Sintel <Director`s Cut> & Extras|" + host +
                "/getnzb/a1b2c3d4e5.nzb&i=42&r=" + kKey + "|700|||",
            // another prefix for the namespace; foreign attributes ignored; entities
            "c0ffee0001|alpha|0|/|Café Série S01E01 — 日本語 & more|" + host +
                "/getnzb/c0ffee0001.nzb&i=42&r=" + kKey + "|350|a.b.tv|5030|kaffee@example.net",
        }));
    EXPECT_EQ(rows("age"), (std::vector<std::string>{
                               std::to_string(daysSince(2026, 11, 29, 22, 15, 1)), // usenetdate
                               std::to_string(daysSince(2026, 11, 30, 8, 0, 0)),   // pubDate
                               std::to_string(daysSince(2026, 11, 25, 6, 0, -5)),
                           }));
    EXPECT_TRUE(observer_.notices.empty());
}

TEST_F(NewznabTest, RefusedAnswersGiveANoticeAndNoRows) {
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    const std::pair<std::string, const char*> pages[] = {
        {answer("error.xml"), "alpha: error 100: Incorrect user credentials"},
        {"<error code=\"201\"/>", "alpha: error 201: no description"},
        {answer("billion.xml"), "alpha: answer with a document type declaration refused"},
        {answer("external.xml"), "alpha: answer with a document type declaration refused"},
        {"<rss><channel><item><title>&secret;</title><guid>u1</guid></item></channel></rss>",
         "alpha: not readable XML: undefined entity"},
        {answer("search.xml").substr(0, 900), "alpha: not readable XML"},
        {"<html><body>404 Not Found</body>", "alpha: not readable XML"},
        {"", "alpha: not readable XML"},
    };
    for (const auto& [page, notice] : pages) {
        observer_.notices.clear();
        EXPECT_EQ(parse(alpha, page), kParseRefused) << notice;
        ASSERT_EQ(observer_.notices.size(), 1u) << notice;
        EXPECT_EQ(observer_.notices[0].rfind(notice, 0), 0u) << observer_.notices[0];
    }
    EXPECT_TRUE(observer_.scripts.empty());
    EXPECT_EQ(parse(alpha, answer("empty.xml")), 0);
    EXPECT_TRUE(observer_.scripts.empty());
}

TEST_F(NewznabTest, SqlInEveryFieldIsStoredAsText) {
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    ASSERT_EQ(parse(alpha, answer("search.xml")), kParseHasRows);
    ASSERT_EQ(parse(alpha, answer("sql.xml")), kParseHasRows);
    EXPECT_EQ(rows("result_id").size(), 4u); // nothing stored before was lost
    const auto hostile = db_->rows("SELECT subject, size, newsgroup, category, poster, age FROM "
                                   "result WHERE result_id='x''); DELETE FROM result; --'");
    EXPECT_EQ(hostile, (std::vector<std::string>{
                           "Robert`); DROP TABLE result; --|2|a.b.x'); DROP TABLE result; "
                           "--|Movies' OR '1'='1|o`brien`); DELETE FROM result; --|" +
                           std::to_string(daysSince(2026, 12, 1, 10, 30, 0))}));
}

TEST_F(NewznabTest, FullPagesAreFollowedByTheNextOffset) {
    std::filesystem::create_directories("tmp");
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    tsearch request;
    request.keyword = "many";
    alpha.search(request);
    // Every answer says more remain: the search stops after its last allowed page.
    std::string full = "<rss><channel>";
    for (int i = 0; i < 100; ++i)
        full += "<item><guid>g" + std::to_string(i) + "</guid></item>";
    full += "</channel></rss>";
    for (int page = 1; page <= CScoutlet::kMostPages; ++page) {
        ASSERT_EQ(observer_.requests.size(), (size_t)page);
        const RecordedRequest asked = observer_.requests.back();
        EXPECT_NE(asked.path.find("&offset=" + std::to_string((page - 1) * 100) + "&q=many"),
                  std::string::npos)
            << asked.path;
        writeFile(asked.file, full);
        alpha.parse(asked.file.c_str(), "utf-8");
    }
    EXPECT_EQ(observer_.requests.size(), (size_t)CScoutlet::kMostPages);

    // A page that reaches the total asks for nothing more.
    observer_.requests.clear();
    alpha.search(request);
    writeFile(observer_.requests[0].file, "<rss xmlns:n=\"http://www.newznab.com/DTD/2010/feeds/"
                                          "attributes/\"><channel><n:response offset=\"0\" "
                                          "total=\"2\"/><item><guid>a</guid></item><item>"
                                          "<guid>b</guid></item></channel></rss>");
    alpha.parse(observer_.requests[0].file.c_str(), "utf-8");
    EXPECT_EQ(observer_.requests.size(), 1u);
}

TEST_F(NewznabTest, NzbsAreFetchedOnlyFromTheIndexersOwnHost) {
    CScoutlet alpha(observer_, "tarn.so", "alpha");
    tsearch request;
    request.keyword = "Big Buck Bunny";
    request.link = std::string(kHost) + "/getnzb/6f1c2a9b3d.nzb&i=42&r=" + kKey;
    alpha.fetchLink(request);
    ASSERT_EQ(observer_.requests.size(), 1u);
    EXPECT_EQ(observer_.requests[0].host, kHost);
    EXPECT_EQ(observer_.requests[0].path, std::string("/getnzb/6f1c2a9b3d.nzb&i=42&r=") + kKey);
    EXPECT_FALSE(observer_.requests[0].isPost);
    EXPECT_EQ(observer_.requests[0].file.rfind("tmp/Big.Buck.Bunny_", 0), 0u);

    for (const std::string& elsewhere :
         {"https://evil.invalid/getnzb/x.nzb&r=" + std::string(kKey),
          std::string(kHost) + ".evil.invalid/x?apikey=" + kKey, std::string(kHost)}) {
        request.link = elsewhere;
        alpha.fetchLink(request);
    }
    EXPECT_EQ(observer_.requests.size(), 1u);
    ASSERT_EQ(observer_.notices.size(), 3u);
    EXPECT_EQ(observer_.notices[0], std::string("alpha: NZB address \"https://evil.invalid/getnzb/"
                                                "x.nzb&r=***\" is not on ") +
                                        kHost + ", not fetched");
    for (const std::string& notice : observer_.notices)
        EXPECT_EQ(notice.find(kKey), std::string::npos) << notice;
}

} // namespace
