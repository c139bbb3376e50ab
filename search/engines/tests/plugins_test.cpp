// The three plug-ins on the fixture pages, loaded through the engine host, with their
// scripts run into a real results database.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "CScoutlet.h"
#include "ScoutletTestSupport.h"
#include "textmarkup.h"

namespace {

class PluginTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        db_ = std::make_unique<ResultsDatabase>(folder_ + "/cfg/miravel.db");
    }
    void TearDown() override {
        db_.reset();
        TempFolderTest::TearDown();
    }

    // Parses one fixture page with the plug-in; returns the plug-in's result and keeps
    // the script it handed on (empty when none).
    int parseFixture(const char* library, const std::string& page) {
        CScoutlet engine(observer_, library);
        EXPECT_NE(engine.index(), 0) << library;
        std::string text = fixture(page);
        const size_t before = observer_.scripts.size();
        const int result = engine.parse(text.data(), (int)text.size());
        script_ = observer_.scripts.size() > before ? observer_.scripts.back() : "";
        return result;
    }

    void storeScript() {
        ASSERT_FALSE(script_.empty());
        ASSERT_EQ(db_->run(script_), SQLITE_OK) << script_;
    }

    std::vector<std::string> stored(const char* engine) {
        return db_->rows(
            std::string(
                "SELECT result_id, pct, parts, subject, filename, size, newsgroup, poster, age "
                "FROM result WHERE engine='") +
            engine + "' ORDER BY result_id");
    }

    RecordingObserver observer_;
    std::unique_ptr<ResultsDatabase> db_;
    std::string script_;
};

TEST_F(PluginTest, BinsearchSearchPage) {
    ASSERT_EQ(parseFixture("lumo.so", "binsearch/search.htm"), 2);
    storeScript();
    EXPECT_EQ(
        stored("binsearch"),
        (std::vector<std::string>{
            "1706213370|100|1560/1560|Big Buck Bunny 1080p \"bbb_1080p.part01.rar\" yEnc (01/73)|"
            "bbb_1080p.part01.rar|1500|a.b.movies|rabbit@example.org (Rabbit Hole)|2",
            "1706213371|0|1/1|bunny.nfo yEnc (1/1)|bunny.nfo|0|a.b.movies|rabbit@example.org "
            "(Rabbit Hole)|0",
            "1706213372|90|45/50|Don`t Look Up \"My Holiday (2026).mkv\" & extras|My Holiday "
            "(2026).mkv|700|"
            "a.b.hdtv|O`Brien & Co|5",
            "1706213374|99|99/100|Caf\u00e9 Serie S01 \"cafe.s01.part1.rar\" yEnc "
            "(1/99)|cafe.s01.part1.rar|1500|"
            "a.b.tv a.b.hdtv|uploader@example.net|150",
            "1706213375|0|1/1|Plain subject & no collection block||0|a.b.misc|plain@example.com|30",
            "1706213376|99|3990/4000|Archive Collection \"archive.7z.001\" yEnc "
            "(1/4000)|archive.7z.001|2000000|"
            "a.b.backup|arc@example.com|800",
        }));
}

// A response file is converted to UTF-8 by the charset its page declares before the
// plug-in reads it: Latin-1, windows-1252 and UTF-8 bytes give the same UTF-8 rows.
TEST_F(PluginTest, PagesAreReadInTheirDeclaredCharset) {
    const std::string page = fixture("binsearch/search.htm");
    const size_t at = page.find("Caf&eacute;");
    ASSERT_NE(at, std::string::npos);
    const std::string latin1 = page.substr(0, at) + "Caf\xE9" + page.substr(at + 11);
    std::string cp1252 = latin1;
    cp1252.replace(cp1252.find("charset=iso-8859-1"), 18, "charset=windows-1252");
    cp1252.replace(cp1252.find("Caf\xE9"), 4, "Caf\x80");
    const std::string utf8 = page.substr(0, at) + "Caf\u00e9" + page.substr(at + 11);
    const std::pair<std::string, const char*> pages[] = {
        {latin1, "Caf\u00e9 Serie"}, {utf8, "Caf\u00e9 Serie"}, {cp1252, "Caf\u20ac Serie"}};
    CScoutlet engine(observer_, "lumo.so");
    for (const auto& [text, subject] : pages) {
        writeFile("response.htm", text);
        const size_t before = observer_.scripts.size();
        engine.parse("response.htm");
        ASSERT_EQ(observer_.scripts.size(), before + 1);
        EXPECT_NE(observer_.scripts.back().find(subject), std::string::npos) << subject;
    }
}

// The local calendar date of a time stamp, as "yyyy-mm-dd".
std::string localDate(time_t stamp) {
    struct tm fields {};
    localtime_r(&stamp, &fields);
    char text[16];
    strftime(text, sizeof text, "%Y-%m-%d", &fields);
    return text;
}

// The date a browse page's "day-month" means when read today: the current year, or the
// previous one for a date later in the year than today.
std::string expectedDate(int day, int month) {
    const time_t now = time(nullptr);
    struct tm today {};
    localtime_r(&now, &today);
    const bool toCome =
        month > today.tm_mon + 1 || (month == today.tm_mon + 1 && day > today.tm_mday);
    const int year = today.tm_year + 1900 - (toCome ? 1 : 0);
    char text[40];
    snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

TEST_F(PluginTest, BinsearchBrowsePage) {
    ASSERT_EQ(parseFixture("lumo.so", "binsearch/browse.htm"), 2);
    storeScript();
    EXPECT_EQ(
        db_->rows(
            "SELECT result_id, pct, parts, subject, filename, size, newsgroup, poster FROM result "
            "WHERE engine='binsearch' ORDER BY result_id"),
        (std::vector<std::string>{
            "1706300001|80|20/25|Winter Film \"winter.part01.rar\" yEnc (01/25) "
            "|winter.part01.rar|350|"
            "a.b.movies|snow@example.com (Snow)",
            "1706300002|100|40/40|New Year & Fireworks \"fireworks.mkv\" yEnc (1/40) "
            "|fireworks.mkv|2250|"
            "a.b.movies|boom@example.com",
            "1706300003|0|1/1|Autumn Leaves \"leaves.nfo\" yEnc (1/1) "
            "|leaves.nfo|0|a.b.movies|tree@example.com",
            "1706300005|75|3/4|Undated Post \"undated.rar\" "
            "|undated.rar|10|a.b.movies|who@example.com",
        }));

    // Ages count back to the day each post was made, also across the turn of the year:
    // the stamp (end of today minus the age) falls on the shown date.
    const auto stamps = db_->rows(
        "SELECT result_id, age, tstamp FROM result WHERE engine='binsearch' ORDER BY result_id");
    ASSERT_EQ(stamps.size(), 4u);
    const std::vector<std::string> dates = {expectedDate(28, 12), expectedDate(2, 1),
                                            expectedDate(15, 11)};
    for (size_t i = 0; i < dates.size(); ++i) {
        long long stamp = 0;
        int age = 0;
        ASSERT_EQ(sscanf(stamps[i].c_str(), "%*[0-9]|%d|%lld", &age, &stamp), 2) << stamps[i];
        EXPECT_EQ(localDate((time_t)stamp), dates[i]) << stamps[i];
    }
    EXPECT_EQ(stamps[3].substr(0, 13), "1706300005|0|") << "an unreadable date counts as age 0";
}

TEST_F(PluginTest, TitleSelectsTheBrowseRules) {
    // A search page that carries the browse title is read with the browse rules, whose
    // id marker its rows do not have.
    std::string page = fixture("binsearch/search.htm");
    page.insert(page.find("<title>"), "<title>Browse newsgroup alt.binaries.movies</title>");
    CScoutlet lumo(observer_, "lumo.so");
    EXPECT_EQ(lumo.parse(page.data(), (int)page.size()), 0);
    std::string plain = fixture("binsearch/search.htm");
    EXPECT_EQ(lumo.parse(plain.data(), (int)plain.size()), 2);
}

TEST_F(PluginTest, RowsBeginBehindTheirTr) {
    // Browse rows are split at "<tr " but begin behind the "<tr", so the id marker's
    // leading blank may be the tag's own.
    std::string page = "<title>Browse newsgroup g</title><table><tr name=\"77\" ><td>First<td>"
                       "<tr name=\"78\" ><td>Second<td></table>";
    CScoutlet lumo(observer_, "lumo.so");
    ASSERT_EQ(lumo.parse(page.data(), (int)page.size()), 2);
    const std::string& script = observer_.scripts.back();
    EXPECT_NE(script.find("VALUES('77','binsearch',0,0,'1/1','First',"), std::string::npos)
        << script;
    EXPECT_NE(script.find("VALUES('78','binsearch',0,0,'1/1','Second',"), std::string::npos)
        << script;
}

// A page that ends in a row marker leaves an empty last row; nothing may be read beyond
// the page's terminator. The page is put at the end of a readable memory page, in
// front of one that cannot be read.
TEST_F(PluginTest, PageEndingInARowMarkerIsReadWithinItsBuffer) {
    const size_t pageSize = (size_t)sysconf(_SC_PAGESIZE);
    const std::vector<std::string> texts = {
        "<form name=\"search\" method=\"get\"><tr name=\"1\" value=\"1\"><td>x<tr",
        "<title>Browse newsgroup g</title><tr name=\"1\" ><td>x<tr ",
    };
    for (const char* library : {"lumo.so", "pirn.so", "dulo.so"}) {
        CScoutlet engine(observer_, library);
        for (const std::string& text : texts) {
            void* map = mmap(nullptr, 2 * pageSize, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            ASSERT_NE(map, MAP_FAILED);
            ASSERT_EQ(mprotect((char*)map + pageSize, pageSize, PROT_NONE), 0);
            char* page = (char*)map + pageSize - (text.size() + 1);
            memcpy(page, text.c_str(), text.size() + 1);
            const int result = engine.parse(page, (int)text.size());
            munmap(map, 2 * pageSize);
            if (std::string(library) == "lumo.so") {
                EXPECT_EQ(result, 2) << text;
            }
        }
    }
}

TEST_F(PluginTest, NzbindexSearchPage) {
    ASSERT_EQ(parseFixture("pirn.so", "nzbindex/search.htm"), 2);
    storeScript();
    EXPECT_EQ(stored("nzbindex"),
              (std::vector<std::string>{
                  "1401000001|90|18/20|Ubuntu 26.04 Desktop \"ubuntu-26.04-desktop-amd64.iso\" "
                  "yEnc||4800|a.b.linux|"
                  "iso@example.net (ISO Poster)|3",
                  "1401000002|80|40/50|Ubuntu Server & Tools "
                  "\"server.part1.rar\"||700|a.b.linux|srv@example.net|0",
                  "1401000004|100|100/100|Kubuntu Daily \"kubuntu.iso\" (amd64)||1500|a.b.linux "
                  "a.b.cd.image|"
                  "kde@example.org|120",
                  "1401000005|0|0/1|ubuntu.nfo||0|a.b.linux|iso@example.net (ISO Poster)|0",
              }));
}

TEST_F(PluginTest, NzbindexIgnoresPagesWithoutTheSearchForm) {
    EXPECT_EQ(parseFixture("pirn.so", "nzbindex/noform.htm"), 0);
    EXPECT_TRUE(script_.empty());
}

TEST_F(PluginTest, YabsearchSearchAndBrowsePages) {
    ASSERT_EQ(parseFixture("dulo.so", "yabsearch/search.htm"), 2);
    storeScript();
    ASSERT_EQ(parseFixture("dulo.so", "yabsearch/browse.htm"), 2);
    storeScript();
    EXPECT_EQ(
        stored("yabsearch"),
        (std::vector<std::string>{
            "colid4711|95|1/1|Ubuntu Server \"ubuntu-server.iso\" & docs||2400|a.b.linux|"
            "poster@example.com (Poster)|7",
            "colid4712|100|1/1|Ubuntu Minimal \"mini.iso\"||64|a.b.linux "
            "a.b.cd.image|mini@example.com|0",
            "colid4714|0|1/1|Ubuntu Touch \"touch.img\"||1500|a.b.mobile|touch@example.com|0",
            "colid4715|50|1/1|Ubuntu Notes \"notes.txt\"||0|a.b.linux|notes@example.com|30",
            "colid5001|98|1/1|Debian Netinst \"netinst.iso\"||400|a.b.linux|deb@example.org|2",
            "colid5002|100|1/1|Fedora Live \"live.iso\"||1900|a.b.linux|fed@example.org|0",
        }));
}

TEST_F(PluginTest, PagesWithoutRowsStoreNothing) {
    for (const char* library : {"lumo.so", "pirn.so", "dulo.so"}) {
        CScoutlet engine(observer_, library);
        std::string noRows =
            "<html><form name=\"search\" method=\"get\"></form><p>nothing found</p></html>";
        EXPECT_EQ(engine.parse(noRows.data(), (int)noRows.size()), 0) << library;
        std::string noIds = "<form name=\"search\" method=\"get\"><table><tr class=\"a\"><td>x</td>"
                            "<tr class=\"b\"><td name=\"abc\" value=\"x\">y</td></table>";
        EXPECT_EQ(engine.parse(noIds.data(), (int)noIds.size()), 0) << library;
    }
    EXPECT_TRUE(observer_.scripts.empty());
}

// Pages stitched at random from the sites' markers, quotes and stray bytes: whatever a
// plug-in makes of them must be a script that runs cleanly.
TEST_F(PluginTest, GarbagePagesGiveValidScripts) {
    const std::vector<std::string> pieces = {"<tr ",
                                             "<tr",
                                             "name=\"",
                                             " name=\"",
                                             "\" >",
                                             "\"",
                                             "class=\"s\">",
                                             "<td",
                                             "<td>",
                                             "</td>",
                                             "\">",
                                             "</a><td",
                                             ">",
                                             "</",
                                             "span>",
                                             "<a href",
                                             "?b=",
                                             "&amp;",
                                             "size: ",
                                             ",",
                                             "available: ",
                                             " /",
                                             " ",
                                             "<",
                                             "<span ",
                                             ";g=",
                                             "&",
                                             "br>",
                                             "</nobr",
                                             "value=\"",
                                             "_name\">",
                                             "</span>",
                                             "(",
                                             " part",
                                             "_poster\">",
                                             "nowrap>",
                                             "colid",
                                             "ndcollection\">",
                                             "<br",
                                             "/>",
                                             "size\">",
                                             "completeness\">",
                                             "<title>Browse newsgroup ",
                                             "<form name=\"search\" method=",
                                             "'",
                                             "''",
                                             "1",
                                             "42",
                                             "7d",
                                             "3 u",
                                             "1.5 GB",
                                             "9.99 MB",
                                             "12-dec",
                                             "alt.binaries.",
                                             "%",
                                             "%4",
                                             "%00",
                                             "&#0;",
                                             "&#x27;",
                                             "&apos;",
                                             "\xE9",
                                             "\x01",
                                             "DROP TABLE result;--",
                                             "<tr name=\"1",
                                             "<tr a name=\"2\" >",
                                             "<tr value=\"3",
                                             "<tr name=\"colid4",
                                             std::string(300, 'x'),
                                             std::string(200, '\'')};
    unsigned seed = 12345;
    int scripts = 0;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (const char* library : {"lumo.so", "pirn.so", "dulo.so"}) {
        CScoutlet engine(observer_, library);
        for (int round = 0; round < 150; ++round) {
            std::string page;
            for (unsigned count = 20 + next() % 300; count > 0; --count)
                page += pieces[next() % pieces.size()];
            const size_t before = observer_.scripts.size();
            engine.parse(page.data(), (int)page.size());
            if (observer_.scripts.size() == before) continue;
            ++scripts;
            const std::string& script = observer_.scripts.back();
            size_t start = 0;
            for (size_t nl; (nl = script.find('\n', start)) != std::string::npos; start = nl + 1)
                ASSERT_LE(nl - start + 1, kResultRowLimit);
            ASSERT_EQ(db_->run(script), SQLITE_OK) << library << " round " << round << "\n"
                                                   << script;
        }
    }
    EXPECT_GT(scripts, 100) << "the pages should yield rows often enough to mean something";
    EXPECT_EQ(db_->rows("SELECT count(*) FROM result WHERE result_id='dummy'"),
              std::vector<std::string>{"1"});
}

// Hostile pages put quotes and SQL into every field: the rows must be stored with those
// texts as plain data and the database left intact.
struct HostileCase {
    const char* library;
    const char* page;
    const char* engine;
    std::vector<std::string> ids;
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.page;
}

class HostilePageTest : public PluginTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostilePageTest, StoresHostileTextsAsData) {
    const HostileCase& c = GetParam();
    ASSERT_EQ(parseFixture(c.library, c.page), 2);
    size_t start = 0;
    for (size_t nl; (nl = script_.find('\n', start)) != std::string::npos; start = nl + 1)
        EXPECT_LE(nl - start + 1, kResultRowLimit);
    storeScript();

    EXPECT_EQ(db_->rows("SELECT type, name FROM sqlite_master WHERE type<>'index' ORDER BY name"),
              (std::vector<std::string>{"view|ageoffsync", "view|ageupdate", "table|result",
                                        "view|results"}));
    EXPECT_EQ(db_->rows("SELECT count(*) FROM result WHERE result_id='dummy'"),
              std::vector<std::string>{"1"});
    std::vector<std::string> ids;
    for (const auto& row : db_->rows(std::string("SELECT result_id FROM result WHERE engine='") +
                                     c.engine + "' ORDER BY rowid"))
        ids.push_back(row);
    EXPECT_EQ(ids, c.ids);
    // The hostile texts arrive as data: nothing was cut off at a quote.
    EXPECT_EQ(db_->rows(std::string("SELECT count(*) FROM result WHERE engine='") + c.engine +
                        "' AND newsgroup LIKE 'a.b.x''); DROP TABLE result; --%'"),
              std::vector<std::string>{"1"});
}

INSTANTIATE_TEST_SUITE_P(
    Sites, HostilePageTest,
    ::testing::Values(HostileCase{"lumo.so",
                                  "binsearch/hostile.htm",
                                  "binsearch",
                                  {"1'); DROP TABLE result; --",
                                   "2' || (SELECT group_concat(name) FROM sqlite_master) || '",
                                   "3"}},
                      HostileCase{"pirn.so",
                                  "nzbindex/hostile.htm",
                                  "nzbindex",
                                  {"1' OR '1'='1'); DROP TABLE result; --", "2"}},
                      HostileCase{"dulo.so",
                                  "yabsearch/hostile.htm",
                                  "yabsearch",
                                  {"colid1'); DROP TABLE result; --", "colid2"}}),
    [](const auto& info) { return std::string(info.param.engine); });

TEST_F(PluginTest, HostileBinsearchFieldsKeepTheirText) {
    ASSERT_EQ(parseFixture("lumo.so", "binsearch/hostile.htm"), 2);
    storeScript();
    EXPECT_EQ(db_->rows("SELECT subject, filename, parts, size, poster, age FROM result WHERE "
                        "result_id LIKE '1''%'"),
              std::vector<std::string>{
                  "Evil` subject`); DELETE FROM result; -- \"x\" `q`|evil`);DROP TABLE "
                  "result;--.rar|1'); DELETE FROM result;--/2'); DROP TABLE result;--|1000|"
                  "poster`); DROP TABLE result; --|3"});
    EXPECT_EQ(db_->rows("SELECT parts, size, age FROM result WHERE result_id='3'"),
              std::vector<std::string>{"5,0);DROP TABLE result;--/9);DROP TABLE result;--|1000|4"});
    // The over-long row was shortened, the longest texts first, and is still stored.
    EXPECT_EQ(db_->rows("SELECT length(subject) < 1000, length(poster) > 0, substr(newsgroup, 1, "
                        "5) FROM result "
                        "WHERE result_id LIKE '2%'"),
              std::vector<std::string>{"1|1|a.b.'"});
}

// Each plug-in exports exactly the two entry points and nothing else of its own.
TEST(PluginExports, OnlyTheTwoEntryPoints) {
    for (const char* plugin : {"lumo.so", "pirn.so", "dulo.so", "tarn.so"}) {
        const std::string command =
            std::string("nm -D --defined-only ") + CORV_BIN_DIR + "/" + plugin;
        FILE* nm = popen(command.c_str(), "r");
        ASSERT_NE(nm, nullptr);
        std::set<std::string> names;
        char line[512];
        while (fgets(line, sizeof line, nm)) {
            char name[256];
            if (sscanf(line, "%*s %*s %255s", name) == 1) names.insert(name);
        }
        EXPECT_EQ(pclose(nm), 0) << command;
        EXPECT_EQ(names,
                  (std::set<std::string>{"_Z10readconfigR7tengine", "_Z11parseresultPciRSs"}))
            << plugin;
    }
}

} // namespace
