#include "cArchiveEntryGuard.h"

#include <gtest/gtest.h>

namespace {

using Guard = cArchiveEntryGuard;

struct row {
    std::string path;
    Guard::eKind kind;
    std::string link;
    std::string refusal; // "" when the entry may be extracted; else a part of the reason
};

// Runs the rows in order through one guard, as entries of one archive.
void expectRows(const std::vector<row>& rows) {
    Guard guard;
    for (const row& r : rows) {
        SCOPED_TRACE(r.path + " -> " + r.link);
        std::string plain, plainLink;
        std::string reason = guard.check(r.path, r.kind, r.link, plain, plainLink);
        if (r.refusal.empty())
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(r.refusal), std::string::npos) << reason;
    }
}

TEST(ArchiveEntryGuard, PathsArePlainAndStayInside) {
    Guard guard;
    std::string plain, plainLink;
    EXPECT_EQ(guard.check("./a//b/./c.txt", Guard::ekFile, "", plain, plainLink), "");
    EXPECT_EQ(plain, "a/b/c.txt");
    EXPECT_EQ(guard.check("./", Guard::ekFolder, "", plain, plainLink), "");
    EXPECT_EQ(plain, "");
    EXPECT_EQ(guard.check("d/h", Guard::ekHardLink, "./a/b/c.txt", plain, plainLink), "");
    EXPECT_EQ(plainLink, "a/b/c.txt");

    expectRows({{"a/../b", Guard::ekFolder, "", "\"a/../b\": \"..\" in the path"}, // even inside
                {"h1", Guard::ekHardLink, "/etc/shadow", "\"h1\": hard link target: absolute"},
                {"h2", Guard::ekHardLink, "../x", "hard link target: \"..\""}});
}

TEST(ArchiveEntryGuard, LinksMayPointAnywhereInsideButNeverOut) {
    expectRows({{"docs/readme", Guard::ekSymLink, "../README", ""},
                {"deep/a/b/up", Guard::ekSymLink, "../../../top.txt", ""},
                {"self", Guard::ekSymLink, ".", ""},
                {"loop1", Guard::ekSymLink, "loop2", ""},
                {"loop2", Guard::ekSymLink, "loop1", ""}, // leads nowhere, as for the system
                {"out", Guard::ekSymLink, "../x", "\"out\": link leads outside"},
                {"deep/out", Guard::ekSymLink, "../../x", "link leads outside"},
                {"abs", Guard::ekSymLink, "/etc", "\"abs\": link to an absolute path"},
                {"blank", Guard::ekSymLink, "", "link to an absolute path"},
                // ".." after a link goes up from where the link leads, not from the link
                {"x/y/top", Guard::ekSymLink, "../..", ""},
                {"m", Guard::ekSymLink, "x/y/top/../escaped", "\"m\": link leads outside"},
                {"n", Guard::ekSymLink, "self/self/x/y/top/docs", ""}});
}

TEST(ArchiveEntryGuard, NothingIsWrittenThroughOurOwnLinks) {
    expectRows({{"sub", Guard::ekFolder, "", ""},
                {"link", Guard::ekSymLink, "sub", ""},
                {"link/file", Guard::ekFile, "", "\"link/file\": goes through the link \"link\""},
                {"link/", Guard::ekFolder, "", "goes through the link"},
                {"link", Guard::ekFile, "", "goes through the link"},
                {"hard", Guard::ekHardLink, "link", "\"hard\": hard link through the link"},
                {"hard2", Guard::ekHardLink, "link/x", "hard link through the link"},
                {"sub/file", Guard::ekFile, "", ""},
                {"linked", Guard::ekHardLink, "sub/file", ""}});
}

TEST(ArchiveEntryGuard, ALaterLinkCanTurnAnEarlierOneOutside) {
    // "m" stays inside while "a/b" is a folder; the later link "a/b" sends it out.
    Guard guard;
    std::string plain, plainLink;
    EXPECT_EQ(guard.check("m", Guard::ekSymLink, "a/b/../../x", plain, plainLink), "");
    EXPECT_EQ(guard.checkLinks(), "");
    EXPECT_EQ(guard.check("a/b", Guard::ekSymLink, "c", plain, plainLink), "");
    EXPECT_EQ(guard.check("a/c", Guard::ekFolder, "", plain, plainLink), "");
    EXPECT_EQ(guard.checkLinks(), "");
    Guard second;
    EXPECT_EQ(second.check("m", Guard::ekSymLink, "a/b/../../x", plain, plainLink), "");
    EXPECT_EQ(second.check("a/b", Guard::ekSymLink, "../d", plain, plainLink), "");
    EXPECT_NE(second.checkLinks().find("\"m\": link leads outside"), std::string::npos);
}

} // namespace
