// The coordinator end to end: real plug-ins, the real fetcher, the test web server on
// loopback serving the fixture pages, and a real results database in a fresh folder.
#include "CMiravel.h"
#include "RecordingObserver.h"
#include "SearchHome.h"
#include "TestWebServerProcess.h"
#include "runloop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const std::string FIXTURES = CORV_SOURCE_DIR "/tests/fixtures/web";
const char* const ENGINES[] = {"binsearch", "nzbindex", "yabsearch"};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

class SearchCoordinator : public ::testing::Test {
  protected:
    // One server per engine: responses find their engine by the host they came from.
    void SetUp() override {
        setenv("MIRAVEL_HOME", home.path.c_str(), 1);
        std::ofstream ini(home.path + "/cfg/engines.ini");
        for (int i = 0; i < 3; ++i) {
            const std::string engine = ENGINES[i];
            servers[i] = std::make_unique<TestWebServerProcess>(std::vector<std::string>{
                "--root", FIXTURES, "--routes", FIXTURES + "/" + engine + "/routes.txt", "--log",
                requestLog(engine), "--lifetime", "120"});
            ASSERT_GT(servers[i]->port(), 0);
            ini << "[" << engine << "]\nhost=" << servers[i]->hostPort() << "\n";
        }
    }
    void TearDown() override {
        miravel.reset();
        unsetenv("MIRAVEL_HOME");
    }
    void start() { miravel = std::make_unique<CMiravel>(nullptr, &observer); }

    std::unique_ptr<tRecordData> page(const char* engine, const char* subject) {
        auto p = std::make_unique<tRecordData>();
        strcpy(p->table, "results");
        miravel->selectData(*p);
        strcpy(p->column[1].filter, engine);
        strcpy(p->column[3].filter, subject);
        miravel->selectData(*p);
        return p;
    }

    std::string requestLog(const std::string& engine) { return home.path + "/" + engine + ".log"; }

    SearchHome home;
    std::unique_ptr<TestWebServerProcess> servers[3];
    RecordingObserver observer;
    std::unique_ptr<CMiravel> miravel;
};

TEST_F(SearchCoordinator, LoadsTheShippedEnginesInOrder) {
    start();
    EXPECT_STREQ(miravel->enginename(0), "binsearch");
    EXPECT_STREQ(miravel->enginename(1), "nzbindex");
    EXPECT_STREQ(miravel->enginename(2), "yabsearch");
    EXPECT_EQ(miravel->enginename(3), nullptr);
    EXPECT_EQ(miravel->enginename(-1), nullptr);
    EXPECT_EQ(miravel->getengine("BinSearch"), miravel->getengine("binsearch"));
    EXPECT_EQ(miravel->getengine("nosuchsite"), nullptr);
    EXPECT_EQ(miravel->loadengine("nosuch.so"), nullptr);
    EXPECT_EQ(miravel->enginename(3), nullptr);
}

TEST_F(SearchCoordinator, EverySearchStoresRowsAndTellsTheWindow) {
    start();
    int changes = 0;
    for (const char* engine : ENGINES) {
        SCOPED_TRACE(engine);
        // The name in other letter case is the same engine.
        std::string asTyped = engine;
        asTyped[0] = (char)toupper(asTyped[0]);
        miravel->search(asTyped.c_str(), "big buck bunny", nullptr);
        ASSERT_TRUE(observer.waitChanges(++changes));

        auto all = page(engine, "");
        ASSERT_GT(all->rows, 0);
        for (int r = 0; r < all->rows; ++r)
            EXPECT_STREQ(all->cell(r, 1), engine);
        EXPECT_EQ(miravel->numResults(engine, ""), all->rows);

        // One word of a stored subject as the filter reads back only rows holding it.
        std::string subject = all->cell(0, 3);
        std::string word = subject.substr(0, subject.find(' '));
        auto filtered = page(engine, word.c_str());
        ASSERT_GT(filtered->rows, 0);
        EXPECT_LE(filtered->rows, all->rows);
        for (int r = 0; r < filtered->rows; ++r)
            EXPECT_NE(strcasestr(filtered->cell(r, 3), word.c_str()), nullptr);
        EXPECT_EQ(miravel->numResults(engine, word.c_str()), filtered->rows);
    }
    EXPECT_EQ(miravel->numResults("", ""), page("", "")->rows);
}

TEST_F(SearchCoordinator, DownloadsAreNamedAndNeverOverwritten) {
    start();
    char ids[] = "1706213370;1706213371;1706213372";
    miravel->download("binsearch", "my film", "", ids, ';');
    EXPECT_EQ(observer.waitOpened(1), "./nzb/my.film.nzb");
    char again[] = "1706213374";
    miravel->download("binsearch", "my film", "", again, ';');
    EXPECT_EQ(observer.waitOpened(2), "./nzb/my.film_000.nzb");

    const std::string answer = readFile(FIXTURES + "/binsearch/answer.nzb");
    EXPECT_EQ(readFile("nzb/my.film.nzb"), answer);
    EXPECT_EQ(readFile("nzb/my.film_000.nzb"), answer);
    EXPECT_FALSE(exists("tmp/my.film_0000.nzb")); // moved, not copied
    EXPECT_NE(readFile(requestLog("binsearch"))
                  .find("r=&action=nzb&1706213370=on&1706213371=on&"
                        "1706213372=on"),
              std::string::npos);

    char unnamed[] = "1";
    miravel->download("nzbindex", "", "", unnamed, ';');
    EXPECT_EQ(observer.waitOpened(3), "./nzb/nzbresult.nzb");
    char unnamedAgain[] = "2";
    miravel->download("yabsearch", nullptr, "", unnamedAgain, ';');
    EXPECT_EQ(observer.waitOpened(4), "./nzb/nzbresult_000.nzb");
    char alternative[] = "3";
    miravel->download("binsearch", "", "alt.binaries.movies", alternative, ';');
    EXPECT_EQ(observer.waitOpened(5), "./nzb/alt.binaries.movies.nzb");
}

TEST_F(SearchCoordinator, StartClearsOnlyOldResponseFiles) {
    mkdir((home.path + "/tmp").c_str(), 0755);
    for (const char* name : {"a.htm", "b.txt", "c.sql", "keep.nzb", "keep.dat"})
        std::ofstream(home.path + "/tmp/" + name) << "x";
    mkdir((home.path + "/tmp/folder.htm").c_str(), 0755);
    start();
    for (const char* name : {"a.htm", "b.txt", "c.sql"})
        EXPECT_FALSE(exists("tmp/" + std::string(name)));
    for (const char* name : {"keep.nzb", "keep.dat", "folder.htm"})
        EXPECT_TRUE(exists("tmp/" + std::string(name))) << name;
    EXPECT_TRUE(exists("cfg/miravel.db"));
    EXPECT_TRUE(exists("nzb"));
}

TEST_F(SearchCoordinator, RoutesResponsesByHostAndTheHistoryFile) {
    start();
    std::ofstream("tmp/history.txt") << "3.0.2: faster\n";
    std::ofstream("tmp/empty.txt");
    miravel->httpResponse("./tmp/history.txt", "", 0, "");
    miravel->httpResponse("./tmp/empty.txt", "", 0, "");
    std::ofstream("tmp/other.txt") << "text";
    miravel->httpResponse("./tmp/other.txt", "unknown.host", 0, ""); // no engine, not the history
    EXPECT_EQ(observer.updatePaths(), (std::vector<std::string>{"./tmp/history.txt"}));
    std::ofstream("tmp/history.txt", std::ios::trunc).flush();
    miravel->httpResponse("./tmp/history.txt", "", 0, "");
    EXPECT_EQ(observer.updatePaths().size(), 1u);
    EXPECT_EQ(observer.changeCount(), 0);
}

TEST_F(SearchCoordinator, AgeUpdateAndResetTellTheWindow) {
    start();
    EXPECT_EQ(miravel->updateAge(true), 0); // the constructor brought the ages up to date
    EXPECT_EQ(observer.changeCount(), 0);
    miravel->search("binsearch", "big buck bunny", "");
    ASSERT_TRUE(observer.waitChanges(1));
    EXPECT_GT(miravel->numResults("binsearch", ""), 0);

    miravel->resetDatabase();
    EXPECT_EQ(observer.changeCount(), 2);
    EXPECT_EQ(miravel->numResults("binsearch", ""), 0);
    EXPECT_EQ(page("", "")->rows, 1); // the 'dummy' row
    EXPECT_EQ(miravel->updateAge(true), 1);
    EXPECT_EQ(observer.changeCount(), 3);
    EXPECT_EQ(miravel->updateAge(false), 0);
}

TEST_F(SearchCoordinator, RequestsForUnknownEnginesOrWithoutWordsSendNothing) {
    start();
    miravel->search("nosuchsite", "words", "");
    miravel->search(nullptr, "words", "");
    miravel->search("binsearch", nullptr, nullptr);
    miravel->search("binsearch", "", "");
    char ids[] = "1";
    miravel->download("nosuchsite", "x", "", ids, ';');
    miravel->download(nullptr, "x", "", ids, ';');
    miravel->search("binsearch", "big buck bunny", ""); // a marker that must come first
    ASSERT_TRUE(observer.waitChanges(1));
    const std::string log = readFile(requestLog("binsearch"));
    EXPECT_EQ(log.find("GET "), log.rfind("GET "));
    EXPECT_EQ(log.find("POST "), std::string::npos);
}

TEST_F(SearchCoordinator, AGroupOnASiteWithoutBrowsingAsksForItsRootAndStoresNothing) {
    start();
    miravel->search("nzbindex", "", "alt.binaries.tv");
    // One fetcher thread takes the requests in order: once this one is stored, the
    // group request has had its answer.
    miravel->search("binsearch", "big buck bunny", "");
    ASSERT_TRUE(observer.waitChanges(1));
    EXPECT_NE(readFile(requestLog("nzbindex")).find("GET / HTTP/1.0"), std::string::npos);
    EXPECT_EQ(miravel->numResults("nzbindex", ""), 0);
}

// A page is read in the charset its server declares, whatever its meta element names;
// only without one does the meta element decide. The binsearch page's "Caf&eacute;" is
// replaced by raw bytes that read differently in each charset.
TEST(ServedCharset, DecidesHowTheStoredSubjectIsRead) {
    SearchHome home;
    const std::string fixture = readFile(FIXTURES + "/binsearch/search.htm");
    const std::string entity = "Caf&eacute;";
    const size_t word = fixture.find(entity);
    const size_t meta = fixture.find("<meta http-equiv=\"Content-Type\"");
    ASSERT_NE(word, std::string::npos);
    ASSERT_NE(meta, std::string::npos);
    ASSERT_LT(meta, word);
    const size_t metaEnd = fixture.find('>', meta) + 1;

    struct Case {
        const char* served; // Content-Type
        const char* meta;   // charset of the meta element; null: no meta element
        const char* bytes;  // in place of "Caf&eacute;"
        const char* subject;
    } cases[] = {
        {"text/html; charset=iso-8859-1", nullptr, "Caf\xE9", "Caf\u00e9 Serie"},
        {"text/html; charset=windows-1252", nullptr, "Caf\x80", "Caf\u20ac Serie"},
        {"text/html; charset=UTF-8", "iso-8859-1", "Caf\u00e9", "Caf\u00e9 Serie"},
        {"text/html; charset=windows-1252", "iso-8859-1", "Caf\x80", "Caf\u20ac Serie"},
        {"text/html; charset=ISO-8859-1", "windows-1252", "Caf\x80", "Caf\u0080 Serie"},
        {"text/html", "windows-1252", "Caf\x80", "Caf\u20ac Serie"},
    };
    std::filesystem::create_directories(home.path + "/site");
    std::vector<std::string> arguments = {"--root", home.path + "/site", "--lifetime", "120"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "case" + std::to_string(i);
        const std::string head =
            cases[i].meta ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
                                std::string(cases[i].meta) + "\">"
                          : "";
        std::ofstream(home.path + "/site/" + name + ".htm")
            << fixture.substr(0, meta) << head << fixture.substr(metaEnd, word - metaEnd)
            << cases[i].bytes << fixture.substr(word + entity.size());
        arguments.insert(arguments.end(), {"--route", "GET /index.php?q=" + name + "* -> " + name +
                                                          ".htm type=\"" + cases[i].served + "\""});
    }
    TestWebServerProcess server(arguments);
    ASSERT_GT(server.port(), 0);
    std::ofstream(home.path + "/cfg/engines.ini")
        << "[binsearch]\nhost=" << server.hostPort() << "\n";

    RecordingObserver observer;
    CMiravel miravel(home.path.c_str(), &observer);
    int changes = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].served + std::string(" / ") + (cases[i].meta ? cases[i].meta : "-"));
        miravel.resetDatabase(); // the same result ids come again
        miravel.search("binsearch", ("case" + std::to_string(i)).c_str(), nullptr);
        changes += 2;
        ASSERT_TRUE(observer.waitChanges(changes));
        auto rows = std::make_unique<tRecordData>();
        strcpy(rows->table, "results");
        miravel.selectData(*rows);
        strcpy(rows->column[3].filter, "Serie");
        miravel.selectData(*rows);
        ASSERT_EQ(rows->rows, 1);
        EXPECT_EQ(std::string(rows->cell(0, 3)).substr(0, strlen(cases[i].subject)),
                  cases[i].subject);
    }
}

TEST(NzbHandOver, NamesFromTheResponseFileAndNeverReplacesAStoredNzb) {
    SearchHome home;
    RecordingObserver observer;
    CMiravel miravel(home.path.c_str(), &observer); // sends nothing: no engine is asked
    struct Case {
        const char* file;
        const char* stored;
    } cases[] = {
        {"tmp/my.film_0003.nzb", "./nzb/my.film.nzb"},
        {"tmp/my_film_0004.nzb", "./nzb/my_film.nzb"},
        {"tmp/plain.name.nzb", "./nzb/plain.name.nzb"},
        {"tmp/noextension", "./nzb/noextension.nzb"},
        {"tmp/my.film_0005.nzb", "./nzb/my.film_000.nzb"},
    };
    size_t count = 0;
    for (const Case& c : cases) {
        std::ofstream(c.file) << c.file;
        miravel.nzbResponse(c.file);
        EXPECT_EQ(observer.waitOpened(++count), c.stored);
        EXPECT_EQ(readFile(c.stored), c.file);
    }

    const std::string longName(200, 'n');
    std::ofstream("tmp/" + longName + "_0001.nzb") << "long";
    miravel.nzbResponse(("tmp/" + longName + "_0001.nzb").c_str());
    EXPECT_EQ(observer.waitOpened(++count), "./nzb/" + longName.substr(0, 139) + ".nzb");

    // Every name taken: the NZB stays where it is and the window is told that place.
    std::ofstream("nzb/full.nzb") << "old";
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        snprintf(name, sizeof name, "nzb/full_%03d.nzb", i);
        std::ofstream(name) << "old";
    }
    std::ofstream("tmp/full_0009.nzb") << "new";
    miravel.nzbResponse("tmp/full_0009.nzb");
    EXPECT_EQ(observer.waitOpened(++count), "tmp/full_0009.nzb");
    EXPECT_EQ(readFile("tmp/full_0009.nzb"), "new");
    EXPECT_EQ(readFile("nzb/full_999.nzb"), "old");
}

TEST(ConsoleRunloop, ChecksTheParseAndStorePathWithoutNetwork) {
    SearchHome home;
    unsetenv("MIRAVEL_HOME");
    const std::string program = home.path + "/miravel";
    char* twoArgs[] = {(char*)program.c_str(), (char*)"--check", nullptr};
    EXPECT_EQ(runloop(2, twoArgs, nullptr), 0);
    EXPECT_FALSE(exists(home.path + "/cfg/miravel.db"));

    mkdir((home.path + "/tmp").c_str(), 0755);
    std::ofstream(home.path + "/tmp/lumo0001.htm") << readFile(FIXTURES + "/binsearch/search.htm");
    char* threeArgs[] = {(char*)program.c_str(), (char*)"--check", (char*)"bunny", nullptr};
    EXPECT_EQ(runloop(3, threeArgs, nullptr), 0);
    EXPECT_TRUE(exists(home.path + "/cfg/miravel.db"));
    EXPECT_FALSE(exists(home.path + "/tmp/lumo0001.htm")); // cleared at start, so nothing stored
}

} // namespace
