// Post-processing through the real program: posts of RAR, 7z and zip archives with PAR2
// sets are made here, served by the test news server (some articles missing), downloaded
// by corvane and verified, repaired with the real par2 and unpacked with libarchive.
// Articles and PAR2 blocks are of one size, so each missing article costs one block.
#include "CorvaneInstance.h"
#include "RandomBytes.h"
#include "RarSetWriter.h"
#include "ServerSections.h"
#include "SqlRows.h"
#include "TestArchive.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"
#include "childProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 20000; // article data and PAR2 block size

// Names (not paths) of the files in `folder`; folders end in "/".
std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); ++it)
        names.insert(it->path().filename().string() + (it->is_directory() ? "/" : ""));
    return names;
}

std::string joined(const std::vector<std::string>& ids) {
    std::string list;
    for (const std::string& id : ids)
        list += (list.empty() ? "" : ",") + id;
    return list;
}

class PostProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(work.path.empty());
        fs::create_directories(work.file("files"));
        fs::create_directories(work.file("spool"));
        payload = randomBytes(260000, 7);
        writeFile(work.file("payload.bin"), payload);
    }

    // A RAR set of the payload in the files folder, volumes of five blocks.
    std::vector<std::string> rarSet(const std::string& name, RarFormat format, RarNaming naming) {
        RarSetOptions options;
        options.format = format;
        options.naming = naming;
        options.volumeSize = 5 * kBlock;
        return writeRarSet(work.file("files/" + name), {fileEntry(work.file("payload.bin"))},
                           options);
    }
    // The PAR2 set `name`.par2 over `files` with `recovery` blocks in `volumes` files;
    // returns the index and volumes.
    std::vector<std::string> par2Set(const std::string& name, const std::vector<std::string>& files,
                                     int recovery, int volumes) {
        std::vector<std::string> command{"par2",
                                         "c",
                                         "-q",
                                         "-s" + std::to_string(kBlock),
                                         "-c" + std::to_string(recovery),
                                         "-n" + std::to_string(volumes),
                                         work.file("files/" + name + ".par2")};
        command.insert(command.end(), files.begin(), files.end());
        command[0] = locateProgram("par2", {});
        tchildRun run = runChild(command);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::vector<std::string> made;
        for (const std::string& file : namesIn(work.file("files")))
            if (file.starts_with(name) && file.ends_with(".par2"))
                made.push_back(work.file("files/" + file));
        return made;
    }
    // Posts `files` into the spool and writes the NZB `nzbName`; returns what was posted.
    std::vector<PostedFile> post(const std::vector<std::string>& files,
                                 const std::string& nzbName) {
        PostOptions options;
        options.spool = work.file("spool");
        options.nzb = work.file(nzbName);
        options.partSize = kBlock;
        nzb = options.nzb;
        return makePost(files, options);
    }
    // The RAR set "film" with the PAR2 set "film" over it, posted as film.nzb.
    std::vector<PostedFile> postFilm(RarFormat format, RarNaming naming, int recovery,
                                     int volumes) {
        std::vector<std::string> files = rarSet("film", format, naming);
        std::vector<std::string> par2 = par2Set("film", files, recovery, volumes);
        files.insert(files.end(), par2.begin(), par2.end());
        return post(files, "film.nzb");
    }
    // Message ids of articles `numbers` (from 1) of the posted file named `name`.
    static std::vector<std::string> articlesOf(const std::vector<PostedFile>& posted,
                                               const std::string& name, std::vector<int> numbers) {
        std::vector<std::string> ids;
        for (const PostedFile& file : posted)
            if (file.name == name)
                for (int number : numbers)
                    ids.push_back(file.segments.at(number - 1).messageId);
        return ids;
    }

    // Starts corvane on the NZB against a test news server lacking `missing`.
    void start(const std::vector<std::string>& missing = {},
               const std::map<std::string, std::string>& settings = {}) {
        std::vector<std::string> arguments{"--spool", work.file("spool")};
        if (!missing.empty()) arguments.insert(arguments.end(), {"--missing", joined(missing)});
        server = std::make_unique<TestNewsServerProcess>(arguments);
        ASSERT_NE(server->port(), 0);
        corvane = std::make_unique<CorvaneInstance>("corvane_postprocess");
        corvane->configure("DEFAULT", "autoloadGUI", "0");
        corvane->configure("DEFAULT", "downloadto", "./download");
        for (const auto& [key, value] : settings)
            corvane->configure("DEFAULT", key.c_str(), value);
        addNewsServer(*corvane, "127.0.0.1", server->port(), 1, 2);
        ASSERT_TRUE(corvane->start({nzb}));
    }
    // Waits (bounded) until post 1 is done or failed; its postStage row "stage|note".
    std::string finished() {
        for (int i = 0; i < 1200; ++i) {
            const std::string log = corvane->log();
            if (log.find("post 1: done\n") != std::string::npos ||
                log.find("post 1: failed") != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        SqlRows rows =
            readOnlyRows(database(), "SELECT stage || '|' || note FROM postStage WHERE pid=1");
        return rows.empty() ? "" : rows[0][0];
    }
    void quit() {
        EXPECT_EQ(corvane->message({"x"}), 0);
        EXPECT_EQ(corvane->waitExit(60), 0);
        if (HasFailure()) corvane->keep();
    }
    std::string database() const { return corvane->home() + "/data/articles.db"; }
    std::string download() const { return corvane->home() + "/download"; }
    // The one folder the post was unpacked into.
    std::string postFolder() const {
        for (const std::string& name : namesIn(download()))
            if (name.ends_with("/")) return download() + "/" + name;
        return "";
    }
    std::set<std::string> downloaded() const {
        std::set<std::string> files;
        for (const std::string& name : namesIn(download()))
            if (!name.ends_with("/")) files.insert(name);
        return files;
    }

    TempFolder work{"corvane_postprocess_post"};
    std::string payload;
    std::string nzb;
    std::unique_ptr<TestNewsServerProcess> server;
    std::unique_ptr<CorvaneInstance> corvane;
};

// One post holding every kind of archive set: RAR5 volumes, RAR4 volumes named .rar/.r00,
// a 7z and a zip, with one PAR2 set over all of them. Nothing is missing.
TEST_F(PostProcess, ACleanPostOfEveryArchiveKindIsUnpackedAndCleanedUp) {
    std::vector<std::string> files = rarSet("film", RarFormat::rar5, RarNaming::part);
    std::vector<std::string> old = rarSet("older", RarFormat::rar4, RarNaming::old);
    files.insert(files.end(), old.begin(), old.end());
    ASSERT_TRUE(writeTestArchive(work.file("files/notes.7z"), "7z", {{"notes.txt", "seven"}}));
    ASSERT_TRUE(
        writeTestArchive(work.file("files/extra.zip"), "zip", {{"dir/extra.txt", "zipped"}}));
    files.push_back(work.file("files/notes.7z"));
    files.push_back(work.file("files/extra.zip"));
    std::vector<std::string> par2 = par2Set("film", files, 4, 2);
    files.insert(files.end(), par2.begin(), par2.end());
    post(files, "Film Night.nzb");
    start();
    EXPECT_EQ(finished(), "6|");
    quit();

    const std::string folder = postFolder();
    EXPECT_EQ(fs::path(folder).parent_path().filename(), "Film Night");
    // Both RAR sets hold the same payload: the second copy gets a free name.
    EXPECT_EQ(readFile(folder + "/payload.bin"), payload);
    EXPECT_EQ(readFile(folder + "/payload.1.bin"), payload);
    EXPECT_EQ(readFile(folder + "/notes.txt"), "seven");
    EXPECT_EQ(readFile(folder + "/dir/extra.txt"), "zipped");
    // The archives and the PAR2 files went; the volumes never queued were never fetched.
    EXPECT_TRUE(downloaded().empty()) << *downloaded().begin();
    const std::string log = corvane->log();
    EXPECT_NE(log.find("post 1: every file intact"), std::string::npos) << log;
    EXPECT_EQ(log.find("recovery volume queued"), std::string::npos);
}

TEST_F(PostProcess, MissingArticlesQueueExactlyTheVolumesNeededThenRepairAndUnpack) {
    // PAR2 volumes of 1, 2 and 4 blocks.
    std::vector<PostedFile> posted = postFilm(RarFormat::rar5, RarNaming::part, 7, 3);
    // Three blocks short: one volume of four beats two of one and two.
    std::vector<std::string> missing = articlesOf(posted, "film.part1.rar", {2, 4});
    for (const std::string& id : articlesOf(posted, "film.part3.rar", {1}))
        missing.push_back(id);
    start(missing);
    EXPECT_EQ(finished(), "6|");
    quit();

    SqlRows fetched =
        readOnlyRows(database(), "SELECT fileName FROM file, deco WHERE fileFID=decoFID "
                                 "AND parblocks>0");
    EXPECT_EQ(fetched, (SqlRows{{"film.vol3+4.par2"}}));
    EXPECT_EQ(readFile(postFolder() + "/payload.bin"), payload);
    EXPECT_TRUE(downloaded().empty()) << *downloaded().begin();
    const std::string log = corvane->log();
    EXPECT_NE(log.find("3 blocks missing, 7 available (7 in unqueued volumes)"), std::string::npos)
        << log;
    EXPECT_NE(log.find("recovery volume queued: film.vol3+4.par2"), std::string::npos);
    EXPECT_NE(log.find("post 1: repaired"), std::string::npos);
}

// Without direct write yydecode writes the files; the stage finds them by its report.
TEST_F(PostProcess, FilesDecodedFromSegmentFilesAreRepairedAndUnpackedToo) {
    std::vector<PostedFile> posted = postFilm(RarFormat::rar5, RarNaming::part, 2, 1);
    start(articlesOf(posted, "film.part3.rar", {2}), {{"directwrite", "0"}});
    EXPECT_EQ(finished(), "6|");
    quit();
    EXPECT_EQ(readFile(postFolder() + "/payload.bin"), payload);
    EXPECT_TRUE(downloaded().empty()) << *downloaded().begin();
    EXPECT_NE(corvane->log().find("post 1: repaired"), std::string::npos) << corvane->log();
}

TEST_F(PostProcess, TooFewBlocksFailWithTheCountsAndKeepEveryFile) {
    std::vector<PostedFile> posted = postFilm(RarFormat::rar5, RarNaming::part, 3, 2);
    start(articlesOf(posted, "film.part2.rar", {1, 2, 3, 4}));
    EXPECT_EQ(finished(), "7|4 blocks missing, 3 available");
    quit();

    EXPECT_EQ(downloaded(), (std::set<std::string>{"film.par2", "film.part1.rar", "film.part2.rar",
                                                   "film.part3.rar"}));
    EXPECT_EQ(postFolder(), "");
    EXPECT_EQ(readOnlyRows(database(), "SELECT COUNT(*) FROM queu"), (SqlRows{{"0"}}));
}

TEST_F(PostProcess, AnObfuscatedPostIsRenamedByItsPar2SetAndUnpacked) {
    std::vector<std::string> files = rarSet("film", RarFormat::rar5, RarNaming::part);
    std::vector<std::string> par2 = par2Set("film", files, 2, 1);
    std::vector<std::string> hidden;
    int n = 0;
    for (const std::string& file : files) {
        hidden.push_back(work.file("files/a7f3c9e" + std::to_string(++n)));
        fs::rename(file, hidden.back());
    }
    hidden.insert(hidden.end(), par2.begin(), par2.end());
    post(hidden, "film.nzb");
    start();
    EXPECT_EQ(finished(), "6|");
    quit();

    EXPECT_EQ(readFile(postFolder() + "/payload.bin"), payload);
    EXPECT_TRUE(downloaded().empty()) << *downloaded().begin();
    EXPECT_NE(corvane->log().find("renamed to"), std::string::npos) << corvane->log();
}

TEST_F(PostProcess, AnEncryptedArchiveNeedsThePasswordItsNzbNames) {
    ASSERT_TRUE(writeTestArchive(work.file("files/secret.zip"), "zip", {{"inside.txt", "hidden"}},
                                 "zipcrypt", "s3cret"));
    post({work.file("files/secret.zip")}, "locked.nzb");
    start();
    EXPECT_EQ(finished(), "7|password needed");
    quit();
    EXPECT_EQ(downloaded(), (std::set<std::string>{"secret.zip"}));

    fs::rename(work.file("locked.nzb"), work.file("locked{{s3cret}}.nzb"));
    nzb = work.file("locked{{s3cret}}.nzb");
    start();
    EXPECT_EQ(finished(), "6|no PAR2 set");
    quit();
    EXPECT_EQ(readFile(postFolder() + "/inside.txt"), "hidden");
    EXPECT_TRUE(downloaded().empty());
}

// Archives that reach outside: an absolute path, "..", a link to /etc and a file through it.
// Each set fails as a whole; nothing is written outside the post's folder.
TEST_F(PostProcess, HostileArchivesExtractNothingOutsideThePostsFolder) {
    const std::string outside = work.file("outside.txt");
    ASSERT_TRUE(writeTestArchive(work.file("files/absolute.zip"), "zip", {{outside, "absolute"}}));
    ASSERT_TRUE(writeTestArchive(work.file("files/climb.zip"), "zip",
                                 {{"../../../../outside.txt", "climbed"}}));
    ASSERT_TRUE(writeTestArchive(
        work.file("files/linked.7z"), "7z",
        {{"etc", "/etc", testEntry::SymLink}, {"etc/corvane-test-written", "through the link"}}));
    post({work.file("files/absolute.zip"), work.file("files/climb.zip"),
          work.file("files/linked.7z")},
         "hostile.nzb");
    start();
    const std::string row = finished();
    quit();

    EXPECT_TRUE(row.starts_with("7|")) << row;
    EXPECT_EQ(corvane->logCount(" not unpacked: "), 3) << corvane->log();
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(corvane->home() + "/outside.txt"));
    EXPECT_FALSE(fs::exists("/etc/corvane-test-written"));
    // Every archive is kept for a look.
    EXPECT_EQ(downloaded(), (std::set<std::string>{"absolute.zip", "climb.zip", "linked.7z"}));
    for (auto it = fs::recursive_directory_iterator(download());
         it != fs::recursive_directory_iterator(); ++it)
        EXPECT_FALSE(it->is_symlink()) << it->path();
}

// The program killed while it repairs, or while it unpacks, finishes the post at its
// next start.
TEST_F(PostProcess, KilledDuringRepairOrUnpackTheNextStartFinishesThePost) {
    std::vector<PostedFile> posted = postFilm(RarFormat::rar5, RarNaming::part, 4, 1);
    const std::vector<std::string> missing = articlesOf(posted, "film.part2.rar", {3});
    for (const char* stage : {"4", "5"}) {
        setenv("CORVANE_TEST_KILL_AT_STAGE", stage, 1);
        start(missing);
        unsetenv("CORVANE_TEST_KILL_AT_STAGE");
        EXPECT_EQ(corvane->waitExit(120), 128 + SIGKILL) << stage;
        SqlRows row = readOnlyRows(database(), "SELECT stage FROM postStage");
        EXPECT_EQ(row, (SqlRows{{stage}}));

        ASSERT_TRUE(corvane->start());
        EXPECT_EQ(finished(), "6|") << stage;
        quit();
        EXPECT_EQ(readFile(postFolder() + "/payload.bin"), payload) << stage;
        EXPECT_EQ(namesIn(postFolder()), (std::set<std::string>{"payload.bin"})) << stage;
        // The archives and PAR2 files are gone.
        for (const std::string& name : downloaded())
            EXPECT_FALSE(name.ends_with(".rar") || name.ends_with(".par2")) << stage << name;
    }
}

TEST_F(PostProcess, WithoutCleanupEveryFileStays) {
    postFilm(RarFormat::rar4, RarNaming::old, 2, 1);
    start({}, {{"cleanup", "0"}});
    EXPECT_EQ(finished(), "6|");
    quit();
    EXPECT_EQ(readFile(postFolder() + "/payload.bin"), payload);
    EXPECT_EQ(downloaded(),
              (std::set<std::string>{"film.par2", "film.rar", "film.r00", "film.r01"}));
}

} // namespace
