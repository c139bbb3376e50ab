// The ".nzb" association in real files of temporary freedesktop folders, and the
// start-up check that repairs or reports it.
#include "CRegistry.h"
#include "NzbAssociationCheck.h"
#include "ScopedVariable.h"
#include "TestFolders.h"
#include "XdgSandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

class NzbAssociation : public ::testing::Test {
  protected:
    std::string get() {
        char program[CRegistry::kProgramSize];
        char extension[] = ".nzb";
        CRegistry::GetFileAssociation(program, extension);
        return program;
    }
    int set(std::string program) {
        char extension[] = ".nzb";
        return CRegistry::SetFileAssociation(program.data(), extension);
    }
    std::string mimeapps() const { return xdg.configHome() + "/mimeapps.list"; }

    void installEntry(const std::string& folder, const std::string& id, const std::string& exec) {
        fs::create_directories(folder + "/applications");
        writeFile(folder + "/applications/" + id,
                  "[Desktop Entry]\nType=Application\nName=x\nExec=" + exec + "\n");
    }

    // Every file below the sandbox with its contents, to show that nothing was written.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(xdg.path))
            files[entry.path().string()] =
                entry.is_regular_file() ? readFile(entry.path().string()) : "<folder>";
        return files;
    }

    void placeClient() {
        writeFile(cwd.file("corvane"), "#!/bin/sh\n");
        chmod(cwd.file("corvane").c_str(), 0755);
    }

    XdgSandbox xdg;
    WorkingFolder cwd{"nzbcheck_test"};
};

TEST_F(NzbAssociation, QuotedPathWithBlanksRoundTrips) {
    const std::string program = cwd.path + "/my \"fancy\" $tools/corvane";
    ASSERT_EQ(set(program), 0);
    EXPECT_EQ(get(), program);
    const std::string entry = readFile(xdg.dataHome() + "/applications/corvane.desktop");
    EXPECT_NE(entry.find("MimeType=application/x-nzb;\n"), std::string::npos);
    EXPECT_NE(
        readFile(mimeapps()).find("[Default Applications]\napplication/x-nzb=corvane.desktop\n"),
        std::string::npos);
}

TEST_F(NzbAssociation, InstallsTheMimeTypeOnlyWhenTheSystemLacksIt) {
    const std::string package = xdg.dataHome() + "/mime/packages/corvane-nzb.xml";
    ASSERT_EQ(set("/opt/corvane/corvane"), 0);
    const std::string xml = readFile(package);
    EXPECT_NE(xml.find("type=\"application/x-nzb\""), std::string::npos);
    EXPECT_NE(xml.find("pattern=\"*.nzb\""), std::string::npos);

    fs::remove_all(xdg.dataHome() + "/mime");
    fs::create_directories(xdg.dataDirs() + "/mime");
    writeFile(xdg.dataDirs() + "/mime/globs2", "50:application/x-nzb:*.nzb\n");
    ASSERT_EQ(set("/opt/corvane/corvane"), 0);
    EXPECT_FALSE(fs::exists(package));
}

TEST_F(NzbAssociation, OtherMimeappsEntriesSurvive) {
    const std::string before = "# my own notes\r\n"
                               "[Added Associations]\r\n"
                               "application/x-nzb=sabnzbd.desktop;\r\n"
                               "\r\n"
                               "[Default Applications]\r\n"
                               "text/html=firefox.desktop\r\n"
                               "application/x-nzb=old.desktop;\r\n"
                               "image/png=gimp.desktop;\r\n"
                               "[Removed Associations]\r\n"
                               "text/plain=ed.desktop";
    writeFile(mimeapps(), before);
    ASSERT_EQ(set("/opt/corvane/corvane"), 0);
    std::string expected = before;
    expected.replace(expected.find("application/x-nzb=old.desktop;\r\n"),
                     std::string("application/x-nzb=old.desktop;\r\n").size(),
                     "application/x-nzb=corvane.desktop\n");
    EXPECT_EQ(readFile(mimeapps()), expected);
}

TEST_F(NzbAssociation, ALinkedMimeappsListStaysALink) {
    fs::create_directories(xdg.file("dotfiles"));
    writeFile(xdg.file("dotfiles/mimeapps.list"), "[Default Applications]\ntext/html=w.desktop\n");
    fs::create_symlink(xdg.file("dotfiles/mimeapps.list"), mimeapps());
    ASSERT_EQ(set("/opt/corvane/corvane"), 0);
    EXPECT_TRUE(fs::is_symlink(mimeapps()));
    EXPECT_EQ(readFile(xdg.file("dotfiles/mimeapps.list")),
              "[Default Applications]\ntext/html=w.desktop\napplication/x-nzb=corvane.desktop\n");
}

TEST_F(NzbAssociation, AnUnreadableMimeappsListIsNotReplaced) {
    fs::create_directories(mimeapps() + "/inside");
    EXPECT_EQ(set("/opt/corvane/corvane"), -1);
    EXPECT_TRUE(fs::is_directory(mimeapps() + "/inside"));
    EXPECT_EQ(get(), "");
    // A pipe without a writer is neither waited on nor replaced.
    fs::remove_all(mimeapps());
    ASSERT_EQ(mkfifo(mimeapps().c_str(), 0600), 0);
    EXPECT_EQ(set("/opt/corvane/corvane"), -1);
    EXPECT_TRUE(fs::is_fifo(mimeapps()));
    EXPECT_EQ(get(), "");
}

TEST_F(NzbAssociation, ExecLineWithoutQuotesYieldsItsFirstWord) {
    installEntry(xdg.dataHome(), "nzbget.desktop", "/usr/local/bin/nzbget --append %F");
    writeFile(mimeapps(), "[Default Applications]\napplication/x-nzb=nzbget.desktop\n");
    EXPECT_EQ(get(), "/usr/local/bin/nzbget");
    installEntry(xdg.dataHome(), "nzbget.desktop", "sabnzbdplus %f");
    EXPECT_EQ(get(), "sabnzbdplus");
}

TEST_F(NzbAssociation, FindsTheDefaultWhereTheDesktopLooksFirst) {
    installEntry(xdg.dataDirs(), "system.desktop", "/usr/bin/system-nzb %f");
    installEntry(xdg.dataHome(), "user.desktop", "/home/u/user-nzb %f");
    installEntry(xdg.dataHome(), "desk.desktop", "/home/u/desk-nzb %f");
    fs::create_directories(xdg.configDirs());
    writeFile(xdg.configDirs() + "/mimeapps.list",
              "[Default Applications]\napplication/x-nzb=system.desktop\n");
    EXPECT_EQ(get(), "/usr/bin/system-nzb");

    // Names that are not installed (or not plain names) are passed over.
    writeFile(mimeapps(), "[Default Applications]\n"
                          "application/x-nzb=../../etc/passwd;gone.desktop;user.desktop;\n");
    EXPECT_EQ(get(), "/home/u/user-nzb");

    setenv("XDG_CURRENT_DESKTOP", "Foo:XFCE", 1);
    writeFile(xdg.configHome() + "/xfce-mimeapps.list",
              "[Default Applications]\napplication/x-nzb=desk.desktop\n");
    EXPECT_EQ(get(), "/home/u/desk-nzb");
}

TEST_F(NzbAssociation, NothingRegisteredReadsEmpty) {
    EXPECT_EQ(get(), "");
    writeFile(mimeapps(), "[Added Associations]\napplication/x-nzb=corvane.desktop\n");
    installEntry(xdg.dataHome(), "corvane.desktop", "/opt/corvane/corvane %f");
    EXPECT_EQ(get(), "") << "only a default counts";
    writeFile(mimeapps(), "[Default Applications]\napplication/x-nzb=other.desktop\n");
    EXPECT_EQ(get(), "");
}

// The start-up check with a PATH of the sandbox's own, a download client beside the
// search tool and, where a case says so, an installed corvane.desktop.
class NzbAssociationCheck : public NzbAssociation {
  protected:
    void SetUp() override {
        fs::create_directories(bin);
        placeClient();
    }
    static void makeProgram(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        writeFile(path, "#!/bin/sh\n");
        chmod(path.c_str(), 0755);
    }
    // The system's entry, as the package installs it: the client named through PATH.
    void installSystemEntry(bool clientOnPath) {
        installEntry(xdg.dataDirs(), "corvane.desktop", "corvane %f");
        if (clientOnPath) makeProgram(bin + "/corvane");
    }
    void makeDefault(const std::string& id, const std::string& exec) {
        installEntry(xdg.dataHome(), id, exec);
        writeFile(mimeapps(), "[Default Applications]\napplication/x-nzb=" + id + "\n");
    }
    std::string check() { return checkNzbAssociation(cwd.file("corvane")); }

    const std::string bin = xdg.file("bin");
    ScopedVariable path{"PATH", (xdg.file("bin") + ":/usr/bin:/bin").c_str()};
};

TEST_F(NzbAssociationCheck, AWorkingAssociationIsNeverChanged) {
    struct Row {
        const char* name;
        std::string exec;    // of the registered entry
        std::string program; // made executable
    } rows[] = {
        {"named through PATH", "nzbtool %f", bin + "/nzbtool"},
        {"with arguments", xdg.file("opt/x/bin/y") + " --add %f", xdg.file("opt/x/bin/y")},
        {"absolute, quoted", "\"" + xdg.file("my tools/nzb") + "\" %f", xdg.file("my tools/nzb")},
        {"PATH name with arguments", "nzbtool --append %F", bin + "/nzbtool"},
    };
    installSystemEntry(true);
    for (const Row& row : rows) {
        makeProgram(row.program);
        makeDefault("other.desktop", row.exec);
        const auto before = snapshot();
        EXPECT_EQ(check(), "") << row.name;
        EXPECT_EQ(snapshot(), before) << row.name;
        fs::remove(row.program);
    }
}

TEST_F(NzbAssociationCheck, AMissingOrBrokenOneIsReplacedByTheInstalledEntry) {
    struct Row {
        const char* name;
        std::function<void()> arrange;
    } rows[] = {
        {"no association", [] {}},
        {"PATH name not found", [&] { makeDefault("other.desktop", "gonetool %f"); }},
        {"program gone", [&] { makeDefault("other.desktop", xdg.file("gone/tool") + " %f"); }},
        {"program not executable",
         [&] {
             writeFile(xdg.file("plain"), "#!/bin/sh\n");
             makeDefault("other.desktop", xdg.file("plain") + " %f");
         }},
        {"entry without Exec",
         [&] {
             makeDefault("other.desktop", "x");
             writeFile(xdg.dataHome() + "/applications/other.desktop",
                       "[Desktop Entry]\nType=Application\n");
         }},
        {"entry not installed",
         [&] {
             writeFile(mimeapps(), "[Default Applications]\napplication/x-nzb=missing.desktop\n");
         }},
    };
    installSystemEntry(true);
    for (const Row& row : rows) {
        fs::remove_all(xdg.dataHome());
        fs::remove(mimeapps());
        row.arrange();
        EXPECT_EQ(check(), "") << row.name;
        EXPECT_EQ(get(), "corvane") << row.name;
        EXPECT_FALSE(fs::exists(xdg.dataHome() + "/applications/corvane.desktop"))
            << row.name << ": the installed entry serves, no copy of it";
    }
}

TEST_F(NzbAssociationCheck, WithoutAWorkingInstalledEntryTheClientBesideIsRegistered) {
    installSystemEntry(false); // its program is not on PATH
    makeDefault("other.desktop", xdg.file("gone/tool") + " %f");
    EXPECT_EQ(check(), "");
    EXPECT_EQ(get(), fs::path(cwd.file("corvane")).lexically_normal().string());
    EXPECT_TRUE(fs::exists(xdg.dataHome() + "/applications/corvane.desktop"));
}

TEST_F(NzbAssociationCheck, NoAssociationAndNoClientWarnsAndWritesNothing) {
    fs::remove(cwd.file("corvane"));
    writeFile(mimeapps(), "[Default Applications]\ntext/html=firefox.desktop\n");
    auto before = snapshot();
    EXPECT_EQ(check(), kNzbNotRegistered);
    EXPECT_EQ(snapshot(), before);

    ASSERT_EQ(set(cwd.path + "/gone/corvane"), 0);
    before = snapshot();
    EXPECT_EQ(check(), kNzbNotRegistered) << "a stale association warns too";
    EXPECT_EQ(snapshot(), before);
}

} // namespace
