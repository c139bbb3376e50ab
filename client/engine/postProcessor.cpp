#include "postProcessor.h"

#include "NNTPqueue.h"
#include "articleSchema.h"
#include "postFolderName.h"
#include "postRows.h"
#include "profile.h"
#include "sqliteDB.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool setting(const char* key) {
    return profile::getInt("DEFAULT", key, 1, CONFIG_INI) != 0;
}

// Crash tests end the program in the middle of a stage: the first time it shows a percent.
void killPointForTests(int stage) {
    static const int killAt = [] {
        const char* value = std::getenv("CORVANE_TEST_KILL_AT_STAGE");
        return value ? std::atoi(value) : 0;
    }();
    if (killAt == stage) raise(SIGKILL);
}

// par2 names the set's files relative to the index's folder.
std::string inFolder(const std::string& folder, const std::string& name) {
    return name.find('/') == std::string::npos ? folder + "/" + name : name;
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::is_regular_file(fs::symlink_status(path, ignored));
}

} // namespace

cPostProcessor::cPostProcessor(NNTPqueue* queue, sqliteDB* db, std::unique_ptr<cPostTools> tools,
                               std::chrono::milliseconds refresh)
    : queue(queue), db(db), tools(std::move(tools)), refresh(refresh) {}

cPostProcessor::~cPostProcessor() {
    stop();
    wait();
}

int cPostProcessor::start() {
    std::lock_guard<std::mutex> guard(lifeLock);
    if (ended) return 0;
    if (hasThread()) return 1;
    {
        // Posts a stop or the end of the program left half done start again from the check.
        std::vector<int> resumed = postsInProgress(*db);
        std::lock_guard<std::mutex> list(lock);
        for (int pid : resumed)
            if (std::find(waiting.begin(), waiting.end(), pid) == waiting.end())
                waiting.push_back(pid);
    }
    return cThread::start();
}

void cPostProcessor::stop() {
    cThread::stop();
    halt = true;
    pause.wake();
}

void cPostProcessor::terminate() {
    {
        std::lock_guard<std::mutex> guard(lifeLock);
        ended = true;
    }
    stop();
    wait();
}

void cPostProcessor::clear() {
    {
        std::lock_guard<std::mutex> guard(lock);
        waiting.clear();
        fetching.clear();
    }
    halt = true;
}

void cPostProcessor::fileBooked(int pid) {
    const unsigned resets = db->resets();
    if (!setting("postprocess") || pendingFiles(*db, pid) > 0) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (std::find(waiting.begin(), waiting.end(), pid) != waiting.end()) return;
        printf("post %d: every file decoded, waiting for post-processing\n", pid);
        // Before it is listed: the thread may take it up at once.
        if (current.load() != pid) queue->setPostStage(pid, ppWaiting, 0, "", resets);
        waiting.push_back(pid);
        fetching.erase(pid);
    }
    listed = true;
    pause.wake();
}

void cPostProcessor::run() {
    cThread::run();
    while (keepRunning()) {
        listed = false;
        int pid = 0;
        bool anyFetching;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!waiting.empty()) {
                pid = waiting.front();
                waiting.erase(waiting.begin());
            }
            anyFetching = !fetching.empty();
        }
        if (!pid) {
            pause.wait(anyFetching ? refresh : std::chrono::milliseconds(60000),
                       [this] { return !keepRunning() || listed.load(); });
            if (anyFetching) showFetching();
            continue;
        }
        resetsAtStart = db->resets();
        halt = false;
        if (!keepRunning()) halt = true; // a stop that came before the line above
        current = pid;
        process(pid);
        current = 0;
    }
}

bool cPostProcessor::dropped(int pid) const {
    return halt.load() || db->resets() != resetsAtStart || !queue->qpost(pid);
}

void cPostProcessor::setStage(int pid, int stage, int percent, const std::string& note) {
    shownStage = stage;
    shownPercent = percent;
    queue->setPostStage(pid, stage, percent, note, resetsAtStart);
    if (percent > 0) killPointForTests(stage);
}

tprogress cPostProcessor::progressOf(int pid, int stage, const std::string& note, int from,
                                     int span) {
    return [this, pid, stage, note, from, span](int percent) {
        const int shown = from + std::clamp(percent, 0, 100) * span / 100;
        if (stage != shownStage || shown != shownPercent) setStage(pid, stage, shown, note);
    };
}

void cPostProcessor::fail(int pid, const std::string& reason) {
    printf("post %d: failed: %s; every file kept\n", pid, reason.c_str());
    setStage(pid, ppFailed, 0, reason);
}

void cPostProcessor::showFetching() {
    const unsigned resets = db->resets(); // a reset clears the list before it begins
    std::map<int, tfetch> shown;
    {
        std::lock_guard<std::mutex> guard(lock);
        shown = fetching;
    }
    for (auto& [pid, fetch] : shown) {
        const int percent = downloadPercent(*db, fetch.files);
        if (percent == fetch.percent) continue;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto found = fetching.find(pid);
            if (found == fetching.end()) continue; // taken up meanwhile
            found->second.percent = percent;
        }
        queue->setPostStage(pid, ppFetchingPar2, percent, "", resets);
    }
}

void cPostProcessor::process(int pid) {
    if (!setting("postprocess") || dropped(pid)) return;
    tpostFiles files = readPostFiles(*db, pid);
    if (files.pending > 0) {
        // Recovery volumes asked for before a restart are still on their way.
        const int percent = downloadPercent(*db, files.inFlight);
        {
            std::lock_guard<std::mutex> guard(lock);
            fetching[pid] = {files.inFlight, percent};
        }
        setStage(pid, ppFetchingPar2, percent);
        return;
    }
    std::vector<std::string> paths;
    for (const auto& [fid, path] : files.placed)
        if (exists(path) && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
    std::string note;
    if (!checkAndRepair(pid, paths, note)) return;
    if (!setting("unpack")) {
        printf("post %d: done, not unpacked (unpack=0)\n", pid);
        setStage(pid, ppDone, 0, note);
        return;
    }
    unpackAndClean(pid, paths, note);
}

void cPostProcessor::askForVolumes(int pid, const par2Check& check) {
    const tpostFiles files = readPostFiles(*db, pid);
    int unqueued = 0;
    for (const auto& [fid, blocks] : files.volumes)
        unqueued += blocks;
    const int available = check.recoveryBlocks + unqueued;
    printf("post %d: %d blocks missing, %d available (%d in unqueued volumes)\n", pid,
           check.damagedBlocks, available, unqueued);
    std::vector<int> chosen =
        tools->chooseVolumes(files.volumes, check.damagedBlocks - check.recoveryBlocks);
    if (chosen.empty()) {
        fail(pid, std::to_string(check.damagedBlocks) + " blocks missing, " +
                      std::to_string(available) + " available");
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        fetching[pid] = {chosen, 0};
    }
    setStage(pid, ppFetchingPar2, 0);
    for (int fid : chosen)
        printf("post %d: recovery volume queued: %s (file %d)\n", pid,
               files.volumeNames.at(fid).c_str(), fid);
    queue->fqueue(&chosen, fqQueue);
}

bool cPostProcessor::checkAndRepair(int pid, std::vector<std::string>& paths, std::string& note) {
    setStage(pid, ppVerifying);
    const std::string index = tools->par2Index(paths);
    if (index.empty()) {
        printf("post %d: no PAR2 set, nothing verified\n", pid);
        note = "no PAR2 set";
        return true;
    }
    // par2's repair verifies first and stops there when nothing is amiss: one pass over
    // the files where a verify and then a repair would read them twice. The pane shows
    // "verifying" until the repair's progress turns it into "repairing".
    printf("post %d: verifying %zu files against %s\n", pid, paths.size(), index.c_str());
    const par2Check check =
        tools->repair(index, paths, progressOf(pid, ppRepairing, "", 0, 100), &halt);
    if (dropped(pid)) return false;
    switch (check.result) {
    case par2Check::Intact:
        printf("post %d: every file intact\n", pid);
        return true;
    case par2Check::Repaired:
        break;
    case par2Check::NotRepairable:
        askForVolumes(pid, check);
        return false;
    default:
        fail(pid, "repair failed: " + check.reason);
        return false;
    }
    printf("post %d: %d blocks missing, %d available, %zu files misnamed\n", pid,
           check.damagedBlocks, check.recoveryBlocks, check.misnamed.size());
    const std::string folder = fs::path(index).parent_path().string();
    for (const auto& [found, recorded] : check.misnamed) {
        const std::string renamed = inFolder(folder, recorded);
        movePlaced(*db, found, renamed);
        std::replace(paths.begin(), paths.end(), found, renamed);
        printf("post %d: \"%s\" renamed to \"%s\"\n", pid, found.c_str(), renamed.c_str());
    }
    // Files missing under the set's names are there now, also where the post's own names
    // for them (obfuscated) say nothing.
    for (const std::string& name : check.restored) {
        const std::string made = inFolder(folder, name);
        if (exists(made) && std::find(paths.begin(), paths.end(), made) == paths.end())
            paths.push_back(made);
    }
    printf("post %d: repaired\n", pid);
    return true;
}

void cPostProcessor::unpackAndClean(int pid, const std::vector<std::string>& paths,
                                    const std::string& note) {
    const std::vector<archiveSet> sets = tools->archiveSets(paths);
    if (sets.empty()) {
        printf("post %d: no archive to unpack, done\n", pid);
        setStage(pid, ppDone, 0, note);
        return;
    }
    const std::string target =
        queue->downloadfolder() + "/" + postFolderName(postDescription(*db, pid));
    const std::string password = postPassword(*db, pid);
    setStage(pid, ppUnpacking, 0, note);
    const int share = 100 / (int)sets.size();
    std::string failure; // of the first set that failed; the others are still unpacked
    for (size_t i = 0; i < sets.size(); ++i) {
        const archiveSet& set = sets[i];
        unpackResult result =
            tools->unpack(set, target, password,
                          progressOf(pid, ppUnpacking, note, (int)i * share, share), &halt);
        if (dropped(pid)) return;
        if (result.ok) {
            printf("post %d: unpacked %s (%zu files) to %s\n", pid, set.volumes.front().c_str(),
                   result.written.size(), target.c_str());
            continue;
        }
        const std::string reason = result.passwordNeeded ? "password needed" : result.reason;
        printf("post %d: %s not unpacked: %s\n", pid, set.volumes.front().c_str(), reason.c_str());
        if (failure.empty()) failure = reason;
    }
    if (!failure.empty()) {
        fail(pid, failure);
        return;
    }
    if (setting("cleanup")) {
        std::vector<std::string> gone;
        for (const archiveSet& set : sets)
            gone.insert(gone.end(), set.volumes.begin(), set.volumes.end());
        for (const std::string& path : paths)
            if (tools->isPar2(path)) gone.push_back(path);
        int removed = 0;
        for (const std::string& path : gone) {
            std::error_code error;
            if (fs::remove(path, error)) ++removed;
            forgetPlaced(*db, path);
        }
        printf("post %d: cleaned up %d archive and PAR2 files\n", pid, removed);
    }
    printf("post %d: done\n", pid);
    setStage(pid, ppDone, 0, note);
}
