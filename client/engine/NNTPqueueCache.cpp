// The queue's caches of post and file records: load, free and the views' accessors.
//
// A load reads every row under the database lock first and only then changes the maps
// under the cache lock, so the two are never held together.
#include "NNTPqueue.h"

#include "dbTransaction.h"
#include "fixedField.h"
#include "postFolderName.h"
#include "sqliteDB.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct tfetched {
    int fid;
    int num;
    std::string msgid;
};

// Everything a load reads, before it touches the caches.
struct tloadRows {
    std::vector<std::unique_ptr<tpost>> posts;
    std::vector<int> postIds;
    std::vector<std::unique_ptr<tfile>> files;
    std::vector<int> queued;
    std::vector<tfetched> fetched;
    std::vector<std::pair<int, int>> deco; // file id, decoCheck
    std::vector<std::pair<int, int>> givenUp; // file id, segments failed on every server
    std::map<int, tpost> stages;               // post id: its stage, percent and note
};

int number(const char* text) {
    return text ? atoi(text) : 0;
}

long long number64(const char* text) {
    return text ? atoll(text) : 0;
}

int cb_post(void* context, int columns, char** values, char**) {
    if (columns < 4 || !values) return 0;
    auto* rows = static_cast<tloadRows*>(context);
    auto post = std::make_unique<tpost>();
    copyField(post->postDesc, values[1]);
    copyField(post->postSubject, values[2]);
    rows->postIds.push_back(number(values[0]));
    rows->posts.push_back(std::move(post));
    return 0;
}

int cb_file(void* context, int columns, char** values, char**) {
    if (columns < 10 || !values) return 0;
    auto* rows = static_cast<tloadRows*>(context);
    auto file = std::make_unique<tfile>();
    file->filePID = number(values[0]);
    file->fileFID = number(values[1]);
    file->fileSize = number64(values[2]);
    file->fileProgress = number64(values[3]);
    copyField(file->fileSubject, values[4]);
    copyField(file->fileName, values[5]);
    file->segcount = number(values[6]);
    file->segavail = number(values[7]);
    file->parblocks = number(values[8]);
    file->fileDate = number(values[9]);
    rows->files.push_back(std::move(file));
    return 0;
}

int cb_queued(void* context, int columns, char** values, char**) {
    if (columns >= 1 && values)
        static_cast<tloadRows*>(context)->queued.push_back(number(values[0]));
    return 0;
}

int cb_fetched(void* context, int columns, char** values, char**) {
    if (columns < 3 || !values) return 0;
    static_cast<tloadRows*>(context)->fetched.push_back(
        {number(values[0]), number(values[1]), values[2] ? values[2] : ""});
    return 0;
}

int cb_deco(void* context, int columns, char** values, char**) {
    if (columns < 2 || !values) return 0;
    static_cast<tloadRows*>(context)->deco.emplace_back(number(values[0]), number(values[1]));
    return 0;
}

int cb_givenUp(void* context, int columns, char** values, char**) {
    if (columns < 2 || !values) return 0;
    static_cast<tloadRows*>(context)->givenUp.emplace_back(number(values[0]), number(values[1]));
    return 0;
}

int cb_stage(void* context, int columns, char** values, char**) {
    if (columns < 4 || !values) return 0;
    tpost& stage = static_cast<tloadRows*>(context)->stages[number(values[0])];
    stage.ppStage = number(values[1]);
    stage.ppPercent = number(values[2]);
    copyField(stage.ppNote, values[3]);
    return 0;
}

} // namespace

int NNTPqueue::load(int clear) {
    std::lock_guard<std::mutex> maintenance(maintenanceLock);
    const int wasRunning = running.load();
    setRunning(0);
    if (clear || clearOnLoad.exchange(false)) freeL();

    tloadRows rows;
    if (db) {
        dbTransaction transaction(*db);
        prepareHandOut();
        transaction.exec("SELECT postPID, postDesc, fileSubject, COUNT(postPID) FROM post LEFT "
                         "OUTER JOIN file ON (postPID=filePID) GROUP BY postPID",
                         cb_post, &rows);
        transaction.exec("SELECT filePID, fileFID, fileSize, fileProgress, fileSubject, fileName, "
                         "segcount, segavail, parblocks, fileDate FROM file",
                         cb_file, &rows);
        transaction.exec("SELECT queuFID FROM queu", cb_queued, &rows);
        transaction.exec("SELECT segmFID, segmNum, segmMsgid FROM segm WHERE segmState=2",
                         cb_fetched, &rows);
        transaction.exec("SELECT decoFID, decoCheck FROM deco", cb_deco, &rows);
        transaction.exec("SELECT pid, stage, percent, note FROM postStage", cb_stage, &rows);
        std::string hosts;
        int count;
        {
            std::lock_guard<std::mutex> guard(folderLock);
            hosts = hostList;
            count = hostCount;
        }
        if (count > 0)
            transaction.exec(("SELECT segmFID, COUNT(*) FROM segm WHERE segmState<2 AND (SELECT "
                              "COUNT(DISTINCT segfHost) FROM segf WHERE segfSID=segmSID AND "
                              "segfHost IN (" + hosts + "))>=" + std::to_string(count) +
                              " GROUP BY segmFID")
                                 .c_str(),
                             cb_givenUp, &rows);
    }
    const std::string download = downloadfolder();
    for (size_t i = 0; i < rows.posts.size(); ++i) {
        tpost& post = *rows.posts[i];
        auto stage = rows.stages.find(rows.postIds[i]);
        if (stage != rows.stages.end()) {
            post.ppStage = stage->second.ppStage;
            post.ppPercent = stage->second.ppPercent;
            copyField(post.ppNote, stage->second.ppNote);
        }
        copyField(post.ppFolder, (download + "/" + postFolderName(post.postDesc)).c_str());
    }

    std::vector<tfile*> waiting; // files for the decoder's list
    int count;
    uint64_t total = 0;
    {
        std::unique_lock<std::shared_mutex> cache(cacheLock);
        for (size_t i = 0; i < rows.posts.size(); ++i)
            if (posts.emplace(rows.postIds[i], rows.posts[i].get()).second) rows.posts[i].release();
        for (auto& file : rows.files)
            if (files.emplace(file->fileFID, file.get()).second) file.release();
        for (int fid : rows.queued)
            if (tfile* file = findFile(fid)) file->fileState = fsQueued;
        for (const tfetched& segment : rows.fetched) {
            tfile* file = findFile(segment.fid);
            if (!file) continue;
            tsegd& entry = file->segd[segment.num];
            entry.segmFID = segment.fid;
            copyField(entry.segmMsgid, segment.msgid.c_str());
        }
        for (auto [fid, check] : rows.deco)
            if (tfile* file = findFile(fid)) file->fileState = check + fsWaitDecode;
        {
            std::lock_guard<std::mutex> guard(fileLock);
            givenUp.clear();
            givenUp.insert(rows.givenUp.begin(), rows.givenUp.end());
        }
        for (auto& [fid, file] : files) {
            total += (uint64_t)file->fileSize;
            if (file->fileState >= fsWaitDecode) waiting.push_back(file);
        }
        count = (int)files.size();
    }
    // Records are deleted only under the maintenance lock this load holds.
    if (model)
        for (tfile* file : waiting)
            model->handleEvent(evtDecodeLoad, file, nullptr);
    printf("loaded %d files %" PRIu64 " Bytes %lu MBytes ", count, total,
           (unsigned long)(total / 1024000));
    notify(updFileList, this);
    notify(updPostList, this);
    if (wasRunning) setRunning(1);
    return count;
}

void NNTPqueue::free() {
    std::lock_guard<std::mutex> maintenance(maintenanceLock);
    freeL();
}

void NNTPqueue::freeL() {
    std::map<int, tpost*> oldPosts;
    std::map<int, tfile*> oldFiles;
    {
        // Workers find no record from here on, so none can reach the decoder again.
        std::unique_lock<std::shared_mutex> cache(cacheLock);
        oldPosts.swap(posts);
        oldFiles.swap(files);
    }
    if (!oldFiles.empty() && model) model->handleEvent(evtDecodeClear, nullptr, nullptr);
    deleteRecords(oldPosts, oldFiles);
}

void NNTPqueue::deleteRecords(std::map<int, tpost*>& oldPosts, std::map<int, tfile*>& oldFiles) {
    for (auto& [pid, post] : oldPosts)
        delete post;
    for (auto& [fid, file] : oldFiles)
        delete file;
    oldPosts.clear();
    oldFiles.clear();
}

tpost* NNTPqueue::qpost(int pid) {
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    auto found = posts.find(pid);
    return found == posts.end() ? nullptr : found->second;
}

tfile* NNTPqueue::qfile(int fid) {
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    return findFile(fid);
}

void NNTPqueue::qposts(std::vector<int>* list) {
    if (!list) return;
    list->clear();
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    for (auto& [pid, post] : posts) {
        post->row = (int)list->size();
        list->push_back(pid);
    }
}

void NNTPqueue::qfiles(std::vector<int>* list, int pid) {
    if (!list) return;
    list->clear();
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    if (posts.find(pid) == posts.end()) return;
    for (auto& [fid, file] : files) {
        if (file->filePID != pid) continue;
        file->row = (int)list->size();
        list->push_back(fid);
    }
}
