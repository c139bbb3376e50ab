#include "CScoutlet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScoutletTestSupport.h"

namespace {

class ScoutletTest : public TempFolderTest {};

tsearch request(const std::string& keyword, const std::string& group = "") {
    tsearch r;
    r.keyword = keyword;
    r.group = group;
    return r;
}

// The response file counters belong to the process, so this test must make the
// process's first search and first NZB request.
TEST_F(ScoutletTest, ResponseFilesAreNumberedAcrossEngines) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    CScoutlet dulo(observer, "dulo.so");
    tsearch words = request("big buck");
    lumo.search(words);
    dulo.search(words);
    tsearch film = request("my film: part 1");
    char ids[] = "123;456";
    lumo.downld(film, ids, ';');

    ASSERT_EQ(observer.requests.size(), 3u);
    EXPECT_EQ(observer.requests[0].file, "tmp/lumo0000.htm");
    EXPECT_EQ(observer.requests[1].file, "tmp/dulo0001.htm");
    EXPECT_EQ(observer.requests[2].file, "tmp/my.film..part.1_0000.htm");
}

TEST_F(ScoutletTest, LoadsThePluginConfiguration) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    EXPECT_EQ(lumo.index(), 1);
    EXPECT_STREQ(lumo.code(), "lumo");
    EXPECT_STREQ(lumo.name(), "binsearch");
    EXPECT_STREQ(lumo.host(), "https://www.binsearch.info");

    lumo.libupdate(nullptr);
    EXPECT_EQ(lumo.index(), 1);
    EXPECT_STREQ(lumo.code(), "lumo");
    EXPECT_EQ(lumo.libclose(), 0);
    EXPECT_EQ(lumo.libclose(), 0) << "closing twice is harmless";
}

TEST_F(ScoutletTest, HostComesFromTheEngineConfiguration) {
    writeFile("cfg/engines.ini", "[binsearch]\nhost=https://127.0.0.1:8443\n[NZBINDEX]\nhost=" +
                                     std::string(60, 'h') + "\n[yabsearch]\nhost=\n");
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    CScoutlet pirn(observer, "pirn.so");
    CScoutlet dulo(observer, "dulo.so");
    EXPECT_STREQ(lumo.host(), "https://127.0.0.1:8443");
    EXPECT_STREQ(pirn.host(), "https://www.nzbindex.com")
        << "a host that does not fit its field is not cut";
    EXPECT_STREQ(dulo.host(), "https://www.yabsearch.nl");
}

TEST_F(ScoutletTest, MissingPluginIsUnusable) {
    RecordingObserver observer;
    CScoutlet none(observer, "nosuchengine.so");
    EXPECT_EQ(none.index(), 0);
    EXPECT_STREQ(none.name(), "");
    char page[] = "<tr name=\"1\">";
    EXPECT_EQ(none.parse(page, (int)strlen(page)), 0);
    writeFile("page.htm", page);
    EXPECT_EQ(none.parse("page.htm"), 0);
    EXPECT_TRUE(observer.scripts.empty());

    // A library without the engine exports is not usable either.
    CScoutlet notEngine(observer, "libscoutlet.so");
    EXPECT_EQ(notEngine.index(), 0);
    EXPECT_EQ(notEngine.parse(page, (int)strlen(page)), 0);
}

TEST_F(ScoutletTest, SearchAndBrowseRequests) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    CScoutlet pirn(observer, "pirn.so");

    tsearch words = request("a b&c");
    lumo.search(words);
    tsearch group = request("", "alt.binaries.tv");
    lumo.search(group);
    pirn.search(group); // no browse mode: the empty path, written as HTTP writes it
    tsearch nothing = request("", "");
    EXPECT_FALSE(lumo.searchOk(nothing));
    lumo.search(nothing);

    ASSERT_EQ(observer.requests.size(), 3u);
    const auto& search = observer.requests[0];
    EXPECT_EQ(search.host, "https://www.binsearch.info");
    EXPECT_EQ(search.path, "/index.php?q=a+b%26c&adv_g=&max=500&adv_age=&adv_sort=date&adv_col=on");
    EXPECT_FALSE(search.isPost);
    EXPECT_EQ(search.cookie, "");
    EXPECT_EQ(observer.requests[1].path, "/browse.php?bg=alt.binaries.tv&adv_col=1");
    EXPECT_EQ(observer.requests[2].path, "/");
    EXPECT_EQ(observer.requests[2].file.substr(0, 8), "tmp/pirn");
}

TEST_F(ScoutletTest, NzbRequests) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    CScoutlet pirn(observer, "pirn.so");
    CScoutlet dulo(observer, "dulo.so");

    tsearch film = request("my film");
    char ids[] = "123;456";
    lumo.downld(film, ids, ';');
    char pirnIds[] = "11;;22;";
    pirn.downld(film, pirnIds, ';');
    char single[] = "colid7";
    dulo.downld(film, single, ';');

    ASSERT_EQ(observer.requests.size(), 3u);
    EXPECT_TRUE(observer.requests[0].isPost);
    EXPECT_EQ(observer.requests[0].path, "/index.php?q=my+film");
    EXPECT_EQ(observer.requests[0].post, "r=&action=nzb&123=on&456=on");
    EXPECT_EQ(observer.requests[1].path, "/index.php?go=nzb");
    EXPECT_EQ(observer.requests[1].post,
              "go=nzb&searchitem=my+film&release0=11&release1=&release2=22&release3=");
    EXPECT_EQ(observer.requests[2].post, "commit=NZB&colid7=1");
    EXPECT_EQ(observer.requests[2].file.substr(0, 12), "tmp/my.film_");

    // Items are bounded to 47 characters: an endless id is cut, never written past its buffer.
    std::string huge(500, '9');
    lumo.downld(film, huge.data(), ';');
    EXPECT_EQ(observer.requests[3].post, "r=&action=nzb&" + std::string(47, '9'));
}

TEST_F(ScoutletTest, PlaceholderSubstitution) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    tsearch r = request("x y", "alt.binaries.tv");
    r.category = "cat";
    r.idlast[1] = 42;

    struct Case {
        const char* pattern;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/s?q=$keyword$&g=$group$", "/s?q=x+y&g=alt.binaries.tv"},
        {"$$keyword$$$category$", "x+ycat"},
        {"/$Keyword$", "/Keyword"},
        {"/$hour$/$age$/$page0$/$page$/$rpp$", "/hour/age/page0/page/rpp"},
        {"group", "alt.binaries.tv"},
        {"/n=$idlast$", "/n=42"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string out = "pre:";
        lumo.replaceparameters(out, c.pattern, r);
        EXPECT_EQ(out, "pre:" + c.expected) << c.pattern;
    }

    // Long keywords are bounded, and nothing can break the request line.
    tsearch longWords = request(std::string(1000, '&'), "a b\r\nX: y");
    std::string out;
    lumo.replaceparameters(out, "$keyword$|$group$", longWords);
    std::string expected;
    for (size_t i = 0; i < CScoutlet::kKeywordLimit; ++i)
        expected += "%26";
    EXPECT_EQ(out, expected + "|a%20b%0D%0AX:%20y");
}

TEST_F(ScoutletTest, FixfilenameMakesNamesSafe) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"my film: part 1_0000.htm", "my.film..part.1_0000.htm"},
        {"a/b\\c;d*e?f\"g'h<i>j|k", "a.b\\c.d.e.f.g.h.i.j.k"},
        {"plain-name_0001.htm", "plain-name_0001.htm"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::vector<char> name(c.name.begin(), c.name.end());
        name.push_back(0);
        EXPECT_EQ(CScoutlet::fixfilename(name.data()), (int)c.expected.size());
        EXPECT_EQ(std::string(name.data()), c.expected);
    }
    EXPECT_EQ(CScoutlet::fixfilename(nullptr), 0);
}

TEST_F(ScoutletTest, LongNzbNamesStayUsableFileNames) {
    RecordingObserver observer;
    CScoutlet dulo(observer, "dulo.so");
    tsearch name = request(std::string(2000, 'n'));
    char id[] = "colid1";
    dulo.downld(name, id, ';');
    ASSERT_EQ(observer.requests.size(), 1u);
    const std::string& file = observer.requests[0].file;
    EXPECT_EQ(file.size(), 4 + CScoutlet::kNzbNameLimit + 9);
    writeFile(file.substr(4), "x"); // the file part must be creatable
    EXPECT_EQ(readFile(file.substr(4)), "x");
}

TEST_F(ScoutletTest, ResponseFilesAreRoutedByKind) {
    RecordingObserver observer;
    CScoutlet lumo(observer, "lumo.so");
    EXPECT_EQ(lumo.parse("tmp/my.film_0003.nzb"), 3);
    ASSERT_EQ(observer.nzbFiles.size(), 1u);
    EXPECT_EQ(observer.nzbFiles[0], "tmp/my.film_0003.nzb");

    EXPECT_EQ(lumo.parse("missing.htm"), 0);
    writeFile("upper.NZB", fixture("binsearch/search.htm"));
    EXPECT_EQ(lumo.parse("upper.NZB"), 0) << "only the exact lower-case extension is an NZB";
    EXPECT_EQ(observer.nzbFiles.size(), 1u);
    ASSERT_EQ(observer.scripts.size(), 1u);
    EXPECT_EQ(observer.scripts[0].rfind("BEGIN;\n", 0), 0u);

    writeFile("empty.htm", "");
    EXPECT_EQ(lumo.parse("empty.htm"), 0);
    writeFile("noids.htm",
              "<table><tr class=\"x\"><td>no id</td></tr><tr><td>none</td></tr></table>");
    EXPECT_EQ(lumo.parse("noids.htm"), 0);
    char page[] = "<table><tr class=\"x\"><td>no id</td></tr></table>";
    EXPECT_EQ(lumo.parse(page, (int)strlen(page)), 0);
    EXPECT_EQ(observer.scripts.size(), 1u) << "pages without rows report nothing";
}

} // namespace
