// The Exec line and the key file edits the association is built from.
#include "DesktopEntry.h"
#include "KeyFileText.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(DesktopEntryExec, ProgramFromExecLines) {
    struct Row {
        const char* exec; // as written in the file
        const char* program;
    } rows[] = {
        {R"("/opt/my corvane/corvane" %f)", "/opt/my corvane/corvane"},
        {R"(/usr/bin/corvane %f)", "/usr/bin/corvane"},
        {R"(/usr/local/bin/nzbtool --add)", "/usr/local/bin/nzbtool"},
        {R"(/usr/local/bin/nzbtool --add %U %f)", "/usr/local/bin/nzbtool"},
        {R"(corvane)", "corvane"},
        {"  sabnzbdplus\t%f", "sabnzbdplus"},
        {R"("/opt/a\\\\b/c" %f)", R"(/opt/a\b/c)"},
        {R"("/opt/say \\"hi\\"/c" %F)", R"(/opt/say "hi"/c)"},
        {R"("/opt/100%%/c" %f)", "/opt/100%/c"},
        // "\s" is a blank once the string escapes are undone, and an unquoted blank
        // separates words.
        {R"(/opt/my\sprog %f)", "/opt/my"},
        {R"("/opt/unterminated)", "/opt/unterminated"},
        {"", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(programFromExec(row.exec), row.program) << row.exec;
}

TEST(DesktopEntryExec, QuotesTheProgramAndAppendsTheFileCode) {
    EXPECT_EQ(execValueFor("/opt/my app/corvane"), R"("/opt/my app/corvane" %f)");
    EXPECT_EQ(execValueFor(R"(/a"b/c)"), R"("/a\\"b/c" %f)");
    EXPECT_EQ(execValueFor("/a%b/c"), R"("/a%%b/c" %f)");
}

TEST(DesktopEntryExec, AwkwardPathsRoundTripThroughTheEntry) {
    const char* paths[] = {
        "/opt/with blank/corvane",    R"(/tmp/quo"te/corvane)", "/tmp/dollar$HOME/corvane",
        R"(/tmp/back\slash/corvane)", "/tmp/pct%f/corvane",     "/tmp/tick`x`/corvane",
        "/tmp/new\nline/corvane",     "/tmp/tab\there/corvane", "/tmp/it's/corvane",
    };
    for (const char* path : paths) {
        std::string entry = desktopEntryText("corvane", path, "application/x-nzb");
        EXPECT_EQ(std::count(entry.begin(), entry.end(), '\n'), 7) << "one line per key: " << path;
        EXPECT_EQ(programFromExec(execValueOf(entry)), path);
    }
}

TEST(KeyFileText, ReadsTheFirstKeyOfTheGroup) {
    const std::string text = "# comment\n[Other]\nk=other\n[Wanted]\n  k =  first ;x;\nk=second\n";
    EXPECT_EQ(keyFileValue(text, "Wanted", "k").value_or("?"), "first ;x;");
    EXPECT_EQ(keyFileValue(text, "Other", "k").value_or("?"), "other");
    EXPECT_FALSE(keyFileValue(text, "Wanted", "K"));
    EXPECT_FALSE(keyFileValue(text, "Missing", "k"));
}

TEST(KeyFileText, SettingAValueKeepsEveryOtherLine) {
    struct Row {
        const char* name;
        const char* before;
        const char* after;
    } rows[] = {
        {"empty file", "", "[G]\nk=v\n"},
        {"group missing", "[A]\nx=1", "[A]\nx=1\n\n[G]\nk=v\n"},
        {"key missing, added after the group's last entry",
         "[G]\r\nx=1\r\n\r\n# note\r\n[H]\r\nk=h\r\n",
         "[G]\r\nx=1\r\nk=v\n\r\n# note\r\n[H]\r\nk=h\r\n"},
        {"empty group", "[G]\n[H]\ny=2\n", "[G]\nk=v\n[H]\ny=2\n"},
        {"key replaced in place", "[G]\nx=1\nk = old;\ny=2\n", "[G]\nx=1\nk=v\ny=2\n"},
        {"later duplicates dropped", "[G]\nk=a\n[H]\nk=h\n[G]\nk=b\nz=3\n",
         "[G]\nk=v\n[H]\nk=h\n[G]\nz=3\n"},
        {"last line without a line end", "[G]\nx=1", "[G]\nx=1\nk=v\n"},
        {"keys differing only in case stay", "[G]\nK=upper\n", "[G]\nK=upper\nk=v\n"},
    };
    for (const Row& row : rows) {
        const std::string after = withKeyFileValue(row.before, "G", "k", "v");
        EXPECT_EQ(after, row.after) << row.name;
        EXPECT_EQ(keyFileValue(after, "G", "k").value_or("?"), "v") << row.name;
    }
}

} // namespace
