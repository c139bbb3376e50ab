// The post-processing stage's flow on a real article database and queue, with the PAR2
// and archive tools played by a stand-in that records what it was asked and answers as
// each test scripts it.
#include "NNTPqueue.h"
#include "ProgramFolder.h"
#include "RecordingModel.h"
#include "articleSchema.h"
#include "postFolderName.h"
#include "postProcessor.h"
#include "profile.h"
#include "sqliteDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct tscript {
    std::deque<par2Check> checks; // one per repair, in order; Intact once none is left
    bool blockInRepair = false;   // a repair that repairs runs until the stage stops it
};

struct tasked {
    int repairs = 0;
    std::vector<std::string> repairFiles;
    std::vector<std::string> unpackTargets;
    std::vector<std::string> unpackedVolumes;
};

class cScriptedTools : public cPostTools {
  public:
    cScriptedTools(tscript& script, tasked& asked) : script(script), asked(asked) {}

    std::string par2Index(const std::vector<std::string>& files) override {
        for (const std::string& file : files)
            if (file.ends_with(".par2") && file.find(".vol") == std::string::npos) return file;
        return "";
    }
    bool isPar2(const std::string& path) override { return path.ends_with(".par2"); }
    par2Check repair(const std::string& index, const std::vector<std::string>& files,
                     const tprogress& progress, const std::atomic<bool>* stop) override {
        ++asked.repairs;
        asked.repairFiles = files;
        par2Check check;
        check.result = par2Check::Intact;
        if (!script.checks.empty()) {
            check = script.checks.front();
            script.checks.pop_front();
        }
        if (check.result != par2Check::Repaired) return check;
        for (const std::string& name : check.restored)
            writeFile(fs::path(index).parent_path().string() + "/" + name, "rebuilt");
        // As par2: progress only once repaired blocks are written.
        for (int percent = 0; percent <= 100; percent += 25)
            progress(percent);
        // Bounded: the stage's stop ends it long before.
        for (int i = 0; script.blockInRepair && !*stop && i < 2000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (*stop) {
            check.result = par2Check::ToolFailed;
            check.reason = "stopped";
        }
        return check;
    }
    std::vector<int> chooseVolumes(const std::vector<std::pair<int, int>>& volumes,
                                   int need) override {
        std::vector<int> chosen;
        for (const auto& [fid, blocks] : volumes) {
            if (need <= 0) break;
            chosen.push_back(fid);
            need -= blocks;
        }
        return need > 0 ? std::vector<int>{} : chosen;
    }
    std::vector<archiveSet> archiveSets(const std::vector<std::string>& files) override {
        archiveSet set{"rar", {}};
        for (const std::string& file : files)
            if (file.ends_with(".rar")) set.volumes.push_back(file);
        std::sort(set.volumes.begin(), set.volumes.end());
        return set.volumes.empty() ? std::vector<archiveSet>{} : std::vector<archiveSet>{set};
    }
    unpackResult unpack(const archiveSet& set, const std::string& target, const std::string&,
                        const tprogress& progress, const std::atomic<bool>*) override {
        asked.unpackTargets.push_back(target);
        asked.unpackedVolumes.insert(asked.unpackedVolumes.end(), set.volumes.begin(),
                                     set.volumes.end());
        progress(50);
        fs::create_directories(target);
        writeFile(target + "/movie.mkv", "unpacked");
        progress(100);
        unpackResult result;
        result.ok = true;
        result.written = {target + "/movie.mkv"};
        return result;
    }

  private:
    tscript& script;
    tasked& asked;
};

par2Check checked(par2Check::Result result, int damaged, int recovery,
                  const std::string& reason = "") {
    par2Check check;
    check.result = result;
    check.damagedBlocks = damaged;
    check.recoveryBlocks = recovery;
    check.reason = reason;
    return check;
}

// The (stage, percent) pairs the views were told of, as they were at the time.
class StageLog : public _observer {
  public:
    void update(unsigned code, void* data) override {
        if (code != updPostStage) return;
        auto* post = static_cast<tpost*>(data);
        std::lock_guard<std::mutex> guard(lock);
        told.emplace_back(post->ppStage, post->ppPercent);
    }
    std::vector<std::pair<int, int>> taken() {
        std::lock_guard<std::mutex> guard(lock);
        return told;
    }
    std::vector<int> stages() {
        std::vector<int> list;
        for (auto [stage, percent] : taken())
            if (list.empty() || list.back() != stage) list.push_back(stage);
        return list;
    }

  private:
    std::mutex lock;
    std::vector<std::pair<int, int>> told;
};

class PostStage : public ProgramFolder {
  protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        fs::create_directory("download");
        writeFile(ARTICLES_SQL, ARTICLES_SCHEMA);
        ASSERT_EQ(db.open(ARTICLES_DB, ARTICLES_SQL), SQLITE_OK);
        queue = std::make_unique<NNTPqueue>(&model, &db);
        queue->setdownload("./download");
        queue->attach(&observer);
        sql("INSERT INTO post VALUES(1, 'Holiday / Pictures 2024', '')");
    }
    void TearDown() override {
        stage.reset();
        queue.reset();
        db.close();
        ProgramFolder::TearDown();
    }

    void sql(const std::string& text) {
        std::lock_guard<sqliteDB> guard(db);
        db.exec(text.c_str());
    }
    std::string rows(const std::string& text) { return column(db, text.c_str()); }

    // File `fid` of post 1; `decoded`: written into the download folder and booked as
    // the decoder books it; otherwise a recovery volume of `blocks` left unqueued.
    void addFile(int fid, const std::string& name, bool decoded = true, int blocks = 0) {
        sql("INSERT INTO file(fileFID, filePID, fileSubject, fileName, fileSize, fileProgress, "
            "segcount, segavail, parblocks) VALUES(" +
            std::to_string(fid) + ", 1, 'subject', '" + name + "', 1000, 0, 1, 1, " +
            std::to_string(blocks) + ")");
        if (!decoded) return;
        writeFile("download/" + name, "data of " + name);
        book(fid, name);
    }
    void book(int fid, const std::string& name) {
        sql("DELETE FROM queu WHERE queuFID=" + std::to_string(fid));
        sql("INSERT OR REPLACE INTO deco VALUES(" + std::to_string(fid) + ", 2)");
        sql("INSERT OR IGNORE INTO decodedFile VALUES(" + std::to_string(fid) + ", './download/" +
            name + "')");
    }
    // A clean post: two RAR volumes, its PAR2 index, a text file.
    void addPost() {
        addFile(1, "film.part1.rar");
        addFile(2, "film.part2.rar");
        addFile(3, "film.par2");
        addFile(4, "film.nfo");
    }

    void startStage() {
        stage = std::make_unique<cPostProcessor>(queue.get(), &db,
                                                 std::make_unique<cScriptedTools>(script, asked),
                                                 std::chrono::milliseconds(5));
        queue->load(1);
        ASSERT_EQ(stage->start(), 1);
    }

    // Waits (bounded) until post 1 is at `stage`, and the stage's thread is idle.
    bool reaches(int wanted) {
        for (int i = 0; i < 2000; ++i) {
            if (queue->qpost(1)->ppStage == wanted && stage->busy() == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::string stageRow() {
        return rows("SELECT stage || ' ' || percent || ' ' || note FROM postStage");
    }
    static bool present(const std::string& name) { return fs::exists("download/" + name); }
    sqliteDB db;
    RecordingModel model;
    StageLog observer;
    std::unique_ptr<NNTPqueue> queue;
    tscript script;
    tasked asked;
    std::unique_ptr<cPostProcessor> stage;
};

TEST_F(PostStage, CleanPostIsVerifiedUnpackedIntoItsFolderAndCleanedUp) {
    addPost();
    startStage();
    // Loaded records already name the folder the post will be unpacked into.
    EXPECT_STREQ(queue->qpost(1)->ppFolder, "./download/Holiday _ Pictures 2024");
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));

    // One pass of par2 over the files, no separate verify first.
    EXPECT_EQ(asked.repairs, 1);
    EXPECT_EQ(asked.unpackTargets, std::vector<std::string>{"./download/Holiday _ Pictures 2024"});
    EXPECT_EQ(readFile("download/Holiday _ Pictures 2024/movie.mkv"), "unpacked");
    // Archives and PAR2 files go; what is neither stays, and so do its rows.
    EXPECT_FALSE(present("film.part1.rar"));
    EXPECT_FALSE(present("film.part2.rar"));
    EXPECT_FALSE(present("film.par2"));
    EXPECT_TRUE(present("film.nfo"));
    EXPECT_EQ(rows("SELECT fid FROM decodedFile"), "4");
    EXPECT_EQ(stageRow(), "6 0 ");
    EXPECT_EQ(observer.stages(), (std::vector<int>{ppWaiting, ppVerifying, ppUnpacking, ppDone}));
    // Each percent is told once, in order.
    std::vector<int> percents;
    for (auto [told, percent] : observer.taken())
        if (told == ppUnpacking) percents.push_back(percent);
    EXPECT_EQ(percents, (std::vector<int>{0, 50, 100}));
}

TEST_F(PostStage, NothingHappensWhileFilesOfThePostAreQueuedOrWhenSwitchedOff) {
    addPost();
    addFile(5, "film.part3.rar", false);
    sql("INSERT INTO queu(queuFID) VALUES(5)");
    startStage();
    stage->fileBooked(1);
    EXPECT_EQ(queue->qpost(1)->ppStage, ppNone);

    book(5, "film.part3.rar");
    writeFile("download/film.part3.rar", "third");
    profile::writeInt("DEFAULT", "postprocess", 0, CONFIG_INI);
    stage->fileBooked(1);
    EXPECT_EQ(queue->qpost(1)->ppStage, ppNone);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM postStage"), "0");

    profile::writeInt("DEFAULT", "postprocess", 1, CONFIG_INI);
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.repairs, 1);
}

TEST_F(PostStage, MissingBlocksQueueTheFewestVolumesThenTheRepairFollowsTheirDownload) {
    addPost();
    addFile(10, "film.vol00+01.par2", false, 1);
    addFile(11, "film.vol01+02.par2", false, 2);
    addFile(12, "film.vol03+04.par2", false, 4);
    script.checks = {checked(par2Check::NotRepairable, 5, 1), checked(par2Check::Repaired, 5, 8)};
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppFetchingPar2));
    // Exactly the volumes the choice names are queued.
    EXPECT_EQ(rows("SELECT queuFID FROM queu ORDER BY queuFID"), "10,11,12");
    EXPECT_EQ(queue->qfile(10)->fileState, fsQueued);
    EXPECT_EQ(asked.repairs, 1);

    // The download's percent is shown while the volumes arrive.
    sql("UPDATE file SET fileProgress=500 WHERE fileFID IN (10, 11, 12)");
    for (int i = 0; i < 2000 && queue->qpost(1)->ppPercent != 50; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(queue->qpost(1)->ppPercent, 50);

    for (auto [fid, name] : {std::pair{10, "film.vol00+01.par2"}, {11, "film.vol01+02.par2"}}) {
        book(fid, name);
        writeFile(std::string("download/") + name, "volume");
        stage->fileBooked(1); // 12 still queued: the post waits on
    }
    EXPECT_EQ(queue->qpost(1)->ppStage, ppFetchingPar2);
    book(12, "film.vol03+04.par2");
    writeFile("download/film.vol03+04.par2", "volume");
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.repairs, 2);
    EXPECT_EQ(asked.repairFiles.size(), 7u); // the four of the post and the three volumes
    // "verifying" while par2 scans, "repairing" once it repairs; nothing checked in between.
    EXPECT_EQ(observer.stages(),
              (std::vector<int>{ppWaiting, ppVerifying, ppFetchingPar2, ppWaiting, ppVerifying,
                                ppRepairing, ppUnpacking, ppDone}));
    std::vector<int> percents;
    for (auto [told, percent] : observer.taken())
        if (told == ppRepairing) percents.push_back(percent);
    EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75, 100}));
    // The cleanup takes the volumes too.
    EXPECT_FALSE(present("film.vol03+04.par2"));
    EXPECT_TRUE(present("film.nfo"));
}

// A volume that lost articles itself brings fewer blocks than it should: the repair that
// falls short tells how far, and the next volume is asked for.
TEST_F(PostStage, VolumesThatFallShortAreFollowedByMore) {
    addPost();
    addFile(10, "film.vol00+01.par2", false, 1);
    addFile(11, "film.vol01+02.par2", false, 2);
    script.checks = {checked(par2Check::NotRepairable, 2, 1),
                     checked(par2Check::NotRepairable, 2, 1), checked(par2Check::Repaired, 2, 3)};
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppFetchingPar2));
    EXPECT_EQ(rows("SELECT queuFID FROM queu"), "10");
    book(10, "film.vol00+01.par2");
    writeFile("download/film.vol00+01.par2", "volume");
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppFetchingPar2));
    EXPECT_EQ(rows("SELECT queuFID FROM queu"), "11");
    EXPECT_EQ(asked.repairs, 2);

    book(11, "film.vol01+02.par2");
    writeFile("download/film.vol01+02.par2", "volume");
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.repairs, 3);
}

TEST_F(PostStage, RepairRenamesMisnamedFilesAndAFailedRepairKeepsEverything) {
    addFile(1, "a8f3e1.bin");
    addFile(2, "film.part2.rar");
    addFile(3, "film.par2");
    profile::writeInt("DEFAULT", "cleanup", 0, CONFIG_INI);
    par2Check misnamed = checked(par2Check::Repaired, 0, 0);
    misnamed.misnamed = {{"./download/a8f3e1.bin", "film.part1.rar"}};
    script.checks = {misnamed};
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.repairs, 1);
    // The stand-in does not rename; the stage follows the set's name from here on.
    EXPECT_EQ(rows("SELECT path FROM decodedFile WHERE fid=1"), "./download/film.part1.rar");

    script.checks = {checked(par2Check::ToolFailed, 0, 0, "damaged beyond the set")};
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppFailed));
    EXPECT_STREQ(queue->qpost(1)->ppNote, "repair failed: damaged beyond the set");
    EXPECT_TRUE(present("film.part2.rar"));
    EXPECT_TRUE(present("film.par2"));
}

// None of a file's articles arrived: the repair makes it under the set's name, which the
// post's own (obfuscated) name for it does not tell; it is unpacked with the rest.
TEST_F(PostStage, AFileTheRepairMadeFromNothingIsUnpackedUnderTheSetsName) {
    addFile(1, "film.part1.rar");
    addFile(2, "c4d2e9", false);
    sql("INSERT INTO deco VALUES(2, 3)");
    addFile(3, "film.par2");
    par2Check rebuilt = checked(par2Check::Repaired, 5, 8);
    rebuilt.restored = {"film.part2.rar"};
    script.checks = {rebuilt};
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.unpackedVolumes,
              (std::vector<std::string>{"./download/film.part1.rar", "./download/film.part2.rar"}));
}

TEST_F(PostStage, WithoutUnpackOrArchivesThePostIsDoneAfterTheVerify) {
    addPost();
    profile::writeInt("DEFAULT", "unpack", 0, CONFIG_INI);
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_EQ(asked.repairs, 1);
    EXPECT_TRUE(asked.unpackTargets.empty());
    EXPECT_TRUE(present("film.part1.rar"));

    profile::writeInt("DEFAULT", "unpack", 1, CONFIG_INI);
    sql("DELETE FROM decodedFile WHERE fid IN (1, 2)");
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    EXPECT_TRUE(asked.unpackTargets.empty());
    EXPECT_TRUE(present("film.par2"));
}

TEST_F(PostStage, DeletingThePostTakesItsRows) {
    addPost();
    sql("INSERT INTO postPassword VALUES(1, 'secret')");
    startStage();
    stage->fileBooked(1);
    ASSERT_TRUE(reaches(ppDone));
    std::vector<int> posts{1};
    queue->premove(&posts);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM postStage"), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM postPassword"), "0");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM decodedFile"), "0");
    // The stage of a post no longer loaded is not written.
    queue->setPostStage(1, ppWaiting, 0, "", db.resets());
    EXPECT_EQ(rows("SELECT COUNT(*) FROM postStage"), "0");
}

TEST_F(PostStage, AResetStopsThePostInWorkAndWritesNothingIntoTheNewDatabase) {
    addPost();
    script.checks = {checked(par2Check::Repaired, 2, 4)};
    script.blockInRepair = true;
    startStage();
    stage->fileBooked(1);
    for (int i = 0; i < 2000 && asked.repairs == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stage->clear();
    queue->resetDB(1);
    // The next import gets the same post id.
    sql("INSERT INTO post VALUES(1, 'next import', '')");
    queue->load(1);
    for (int i = 0; i < 2000 && stage->busy() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(stage->busy(), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM postStage"), "0");
    EXPECT_EQ(queue->qpost(1)->ppStage, ppNone);
    EXPECT_TRUE(present("film.part1.rar"));
}

TEST(PostFolderName, OneSafeFolderNameCutAtACharacterBoundary) {
    EXPECT_EQ(postFolderName("  a/b\tc  "), "a_b_c");
    EXPECT_EQ(postFolderName(".."), "post");
    EXPECT_EQ(postFolderName("."), "post");
    EXPECT_EQ(postFolderName("  "), "post");
    EXPECT_EQ(postFolderName("../x"), ".._x");
    EXPECT_EQ(postFolderName("Film Night.NZB"), "Film Night");
    EXPECT_EQ(postFolderName("a.nzb.gz"), "a");
    EXPECT_EQ(postFolderName(".nzb"), ".nzb"); // nothing would be left
    EXPECT_EQ(postFolderName("notes.nzb.txt"), "notes.nzb.txt");
    // 254 ASCII bytes and a two-byte character: the character does not fit whole.
    const std::string name = postFolderName(std::string(254, 'x') + "\xc3\xa9tail");
    EXPECT_EQ(name, std::string(254, 'x'));
}

} // namespace
