// The hand-out side of the queue: worker slots, next, save, rset, fail and the booking
// of busy counts and progress in the file records.
#include "NNTPqueue.h"

#include "cDirectWriter.h"
#include "dbTransaction.h"
#include "fixedField.h"
#include "sqliteDB.h"
#include "writeAll.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace {

// Fills the worker slot from one row of segn/sego: segment id, file id, number,
// bytes, message id.
struct tnextRow {
    tsegm* slot;
    int rows;
};

int cb_queunext(void* context, int columns, char** values, char**) {
    auto* next = static_cast<tnextRow*>(context);
    if (columns < 5 || !values) return 0;
    tsegm* slot = next->slot;
    slot->segmSID = values[0] ? atoi(values[0]) : 0;
    slot->segmFID = values[1] ? atoi(values[1]) : 0;
    slot->segmNum = values[2] ? atoi(values[2]) : 0;
    slot->segmBytes = values[3] ? atoi(values[3]) : 0;
    const char* msgid = values[4] ? values[4] : "";
    // A message id is at most 250 characters with its angle brackets; one that does not
    // fit the slot can name no article, so its cut form is refused by every server.
    if (strlen(msgid) >= sizeof slot->segmMsgid)
        printf("next: message id of segment %d longer than %zu characters, cut\n", slot->segmSID,
               sizeof slot->segmMsgid - 1);
    copyField(slot->segmMsgid, msgid);
    slot->last = 0;
    ++next->rows;
    return 0;
}

} // namespace

NNTPqueue::NNTPqueue(NNTPmodel_iface* model, sqliteDB* db)
    : model(model), db(db), tempFolder("./temp") {}

NNTPqueue::~NNTPqueue() {
    waitReset();
    // The model that would hear evtDecodeClear is going away itself.
    deleteRecords(posts, files);
}

tsegm* NNTPqueue::slotAt(int index, const char* operation) {
    if (index >= 0 && index < SLOTS) return &slots[index];
    printf("%s: worker index %d is no slot (0..%d)\n", operation, index, SLOTS - 1);
    return nullptr;
}

const tsegm* NNTPqueue::slot(int index) const {
    return index >= 0 && index < SLOTS ? &slots[index] : nullptr;
}

void NNTPqueue::settemp(const char* folder) {
    std::lock_guard<std::mutex> guard(folderLock);
    tempFolder = folder ? folder : "";
}

std::string NNTPqueue::tempfolder() const {
    std::lock_guard<std::mutex> guard(folderLock);
    return tempFolder;
}

void NNTPqueue::setdownload(const std::string& folder) {
    std::lock_guard<std::mutex> guard(folderLock);
    downloadFolder = folder;
}

std::string NNTPqueue::downloadfolder() const {
    std::lock_guard<std::mutex> guard(folderLock);
    return downloadFolder;
}

void NNTPqueue::setHosts(const std::vector<int>& hostids) {
    std::set<int> distinct(hostids.begin(), hostids.end());
    std::string list;
    for (int id : distinct)
        list += (list.empty() ? "" : ",") + std::to_string(id);
    std::lock_guard<std::mutex> guard(folderLock);
    hostList = list;
    hostCount = (int)distinct.size();
}

tfile* NNTPqueue::findFile(int fid) const {
    auto found = files.find(fid);
    return found == files.end() ? nullptr : found->second;
}

char* NNTPqueue::next(int index, int hostid) {
    if (!running.load() || !db) return nullptr;
    tsegm* slot = slotAt(index, "next");
    if (!slot) return nullptr;
    *slot = tsegm{};

    const char* sql = prioOn.load() ? "SELECT * FROM sego WHERE segmSID NOT IN (SELECT "
                                      "segfSID FROM segf WHERE segfHost=?) LIMIT 1"
                                    : "SELECT * FROM segn WHERE segmSID NOT IN (SELECT "
                                      "segfSID FROM segf WHERE segfHost=?) LIMIT 1";
    tnextRow row{slot, 0};
    {
        dbTransaction transaction(*db);
        slotGeneration[index] = generation.load();
        transaction.execBound(sql, {hostid}, cb_queunext, &row);
        if (row.rows)
            transaction.execBound("UPDATE segm SET segmState=1 WHERE segmSID=?", {slot->segmSID});
    }
    if (!row.rows) {
        *slot = tsegm{};
        return nullptr;
    }
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    // Deleted or reset since the query: the segment is given back already.
    if (handedOutBefore(index, "next")) return nullptr;
    tfile* file = findFile(slot->segmFID);
    if (!file) {
        // An import whose reload is still to come: its segments would have no file to be
        // saved for. The reload wakes the idle workers.
        cache.unlock();
        dbTransaction transaction(*db);
        transaction.execBound("UPDATE segm SET segmState=0 WHERE segmSID=?", {slot->segmSID});
        *slot = tsegm{};
        return nullptr;
    }
    setbusy(file, 1);
    return slot->segmMsgid;
}

int NNTPqueue::savesegment(tfile* file, tsegm* segment, std::string* article) {
    if (!file || !segment) return -1;
    char name[64];
    snprintf(name, sizeof name, "/%x.%x.%x.segm", (unsigned)file->filePID,
             (unsigned)segment->segmFID, (unsigned)segment->segmSID);
    std::string path = tempfolder() + name;
    if (!article) {
        printf("segment file not written: %s no article\n", path.c_str());
        return -1;
    }
    // One write straight from the article: no stream buffer to copy through, no sync.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        int error = errno;
        printf("segment file not written: %s %s\n", path.c_str(), strerror(error));
        return -1;
    }
    int error = writeAll(fd, article->data(), article->size());
    if (::close(fd) != 0 && !error) error = errno; // a late write error may show here
    if (!error) return 0;
    printf("segment file not written: %s %s\n", path.c_str(), strerror(error));
    unlink(path.c_str()); // a cut segment file would decode into a broken file
    return -1;
}

int NNTPqueue::storeArticle(tfile* file, tsegm* segment, std::string* article) {
    cDirectWriter* writer = directWriter.load();
    // A surplus segment of a file that already went to the decoder is not written into
    // the output file, which may be finished and renamed by now.
    if (writer && article && file->fileState < fsWaitDecode) {
        switch (writer->write(*file, *segment, *article)) {
        case cDirectWriter::dwWritten:
            return 0;
        case cDirectWriter::dwWriteFailed:
            return -1;
        case cDirectWriter::dwNotHere:
            break;
        }
    }
    return savesegment(file, segment, article);
}

void NNTPqueue::save(int index, std::string* article) {
    tsegm* slot = slotAt(index, "save");
    if (!slot || !slot->segmSID || !db) return;
    // Held to the end: a delete or reset comes wholly before or wholly after this save.
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    if (handedOutBefore(index, "save")) return;
    tfile* file = findFile(slot->segmFID);
    if (!file) {
        // Booked without its segment file, the file would decode with a hole.
        printf("save: segment %d of a file not loaded given back\n", slot->segmSID);
        giveBack(slot, nullptr, false, 0);
        return;
    }
    if (storeArticle(file, slot, article) != 0) {
        // Booking it would leave its file forever one segment short. It is fetched
        // again once the folder can take it; until then fetching more is wasted.
        printf("save: segment %d given back, queue paused\n", slot->segmSID);
        giveBack(slot, file, false, 0);
        setRunning(0);
        return;
    }
    setbusy(file, -1);
    setprogress(file, slot);

    const int sid = slot->segmSID;
    const int fid = slot->segmFID;
    const int last = slot->last;
    {
        dbTransaction transaction(*db);
        transaction.execBound("UPDATE segm SET segmState=2 WHERE segmSID=?", {sid});
        transaction.execBound("UPDATE file SET fileProgress=fileProgress+? WHERE fileFID=?",
                              {slot->segmBytes, fid});
        if (last) {
            transaction.execBound("DELETE FROM queu WHERE queuFID=?", {fid});
            transaction.execBound("INSERT INTO deco(decoFID) VALUES(?)", {fid});
        }
    }
    if (last && model) model->handleEvent(evtDecodeAdd, file, nullptr);
    slot->last = 0;
    slot->segmSID = 0; // booked: a second save, rset or fail finds nothing to do
}

void NNTPqueue::giveBack(tsegm* slot, tfile* file, bool failed, int hostid) {
    {
        dbTransaction transaction(*db);
        if (failed)
            transaction.execBound("INSERT INTO segf (segfSID,segfHost) VALUES(?,?)",
                                  {slot->segmSID, hostid});
        transaction.execBound("UPDATE segm SET segmState=0 WHERE segmSID=?", {slot->segmSID});
    }
    slot->segmSID = 0;
    setbusy(file, -1);
}

void NNTPqueue::rset(int index) {
    tsegm* slot = slotAt(index, "rset");
    if (!slot || !slot->segmSID || !db) return;
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    if (handedOutBefore(index, "rset")) return;
    giveBack(slot, findFile(slot->segmFID), false, 0);
}

void NNTPqueue::fail(int index, int hostid) {
    tsegm* slot = slotAt(index, "fail");
    if (!slot || !slot->segmSID || !db) return;
    {
        std::shared_lock<std::shared_mutex> cache(cacheLock);
        if (handedOutBefore(index, "fail")) return;
        const int sid = slot->segmSID;
        tfile* file = findFile(slot->segmFID);
        giveBack(slot, file, true, hostid);
        if (file && failedEverywhere(sid)) giveUp(file, sid);
    }
    // Another server's idle workers may have it.
    workArrived();
}

bool NNTPqueue::handedOutBefore(int index, const char* operation) {
    if (slotGeneration[index] == generation.load()) return false;
    printf("%s: segment %d handed out before posts were deleted or the database was reset, "
           "dropped\n",
           operation, slots[index].segmSID);
    slots[index] = tsegm{};
    return true;
}

std::vector<tfile*> NNTPqueue::dropHandOuts() {
    ++generation;
    std::vector<tfile*> changed;
    std::lock_guard<std::mutex> guard(fileLock);
    for (auto& [fid, file] : files) {
        file->fileBusy = 0;
        if (file->fileState != fsDownloading) continue;
        file->fileState = fsQueued;
        changed.push_back(file);
    }
    return changed;
}

bool NNTPqueue::failedEverywhere(int sid) {
    std::string hosts;
    int count;
    {
        std::lock_guard<std::mutex> guard(folderLock);
        hosts = hostList;
        count = hostCount;
    }
    if (count == 0) return false;
    int failed = 0;
    const std::string sql =
        "SELECT COUNT(DISTINCT segfHost) FROM segf WHERE segfSID=? AND segfHost IN (" + hosts + ")";
    dbTransaction transaction(*db);
    transaction.execBound(sql.c_str(), {sid}, cb_max, &failed);
    return failed >= count;
}

void NNTPqueue::giveUp(tfile* file, int sid) {
    bool completed;
    {
        std::lock_guard<std::mutex> guard(fileLock);
        const int missing = ++givenUp[file->fileFID];
        completed = (int)file->segd.size() + missing == file->segcount &&
                    (file->fileState == fsQueued || file->fileState == fsDownloading);
        if (completed) file->fileState = fsWaitDecode;
    }
    printf("segment %d failed on every server, given up\n", sid);
    if (!completed) return;
    printf("file %d: nothing left to fetch, decoded without its missing segments\n",
           file->fileFID);
    {
        dbTransaction transaction(*db);
        transaction.execBound("DELETE FROM queu WHERE queuFID=?", {file->fileFID});
        transaction.execBound("INSERT INTO deco(decoFID) VALUES(?)", {file->fileFID});
    }
    notify(updFileState, file);
    if (model) model->handleEvent(evtDecodeAdd, file, nullptr);
}

void NNTPqueue::setbusy(tfile* file, int delta) {
    if (!file) return;
    bool changed = false;
    {
        // The state moves with the count: two workers of one file decide it in turn.
        // Only a queued or downloading file changes: one that a save completed (or the
        // user sent to the decoder) meanwhile keeps its state when a surplus segment of
        // it is released.
        std::lock_guard<std::mutex> guard(fileLock);
        const bool inQueue = file->fileState == fsQueued || file->fileState == fsDownloading;
        if (delta >= 0) {
            ++file->fileBusy;
            changed = inQueue;
            if (changed) file->fileState = fsDownloading;
        } else {
            changed = --file->fileBusy <= 0 && inQueue;
            if (changed) file->fileState = fsQueued;
        }
    }
    if (changed) notify(updFileState, file);
}

void NNTPqueue::setprogress(tfile* file, tsegm* segment) {
    if (!file || !segment) return;
    bool completed;
    {
        std::lock_guard<std::mutex> guard(fileLock);
        file->fileProgress += segment->segmBytes;
        auto [entry, added] = file->segd.try_emplace(segment->segmNum);
        entry->second.segmFID = segment->segmFID;
        copyField(entry->second.segmMsgid, segment->segmMsgid);
        // Only the save that adds the last missing number completes the file: a number
        // saved again neither counts twice nor sends the file to the decoder twice.
        auto missing = givenUp.find(file->fileFID);
        const int given = missing == givenUp.end() ? 0 : missing->second;
        completed = added && (int)file->segd.size() + given == file->segcount;
        if (completed && file->fileState != fsNotQueued) file->fileState = fsWaitDecode;
    }
    if (completed) {
        notify(updFileState, file);
        segment->last = 1;
    }
    notify(updFileProgress, file);
}

void NNTPqueue::setRunning(int on) {
    running.store(on ? 1 : 0);
    notify(updQueueEnabled, (void*)(intptr_t)(on ? 1 : 0));
    if (on) workArrived();
}

unsigned NNTPqueue::workCount() {
    std::lock_guard<std::mutex> guard(idleLock);
    return workGeneration;
}

bool NNTPqueue::awaitWork(std::chrono::milliseconds duration, unsigned seen,
                          const std::function<bool()>& stopped) {
    std::unique_lock<std::mutex> guard(idleLock);
    idleWake.wait_for(guard, duration, [&] { return stopped() || workGeneration != seen; });
    return !stopped();
}

void NNTPqueue::wakeIdle() {
    std::lock_guard<std::mutex> guard(idleLock);
    idleWake.notify_all();
}

void NNTPqueue::workArrived() {
    std::lock_guard<std::mutex> guard(idleLock);
    ++workGeneration;
    idleWake.notify_all();
}

void NNTPqueue::setPrio(int on) {
    prioOn.store(on ? 1 : 0);
    notify(updQueuePrio, (void*)(intptr_t)(on ? 1 : 0));
}

void NNTPqueue::prepareHandOut() {
    // segn and sego join the queued files to their segments at state 0. Left to its
    // own estimates SQLite walks all segments instead (sego even sorts them all), which
    // costs more with every segment fetched. With an index on (file, state) and fixed
    // statistics that describe the usual shape (few queued files, many segments each)
    // it walks the queue, in priority order for sego, and stops at the first segment.
    // The statistics are written anew at every load, so an ANALYZE run elsewhere can
    // not steer the hand-out back to the walk.
    db->exec("CREATE INDEX IF NOT EXISTS segmhandout ON segm (segmFID, segmState)");
    db->exec("ANALYZE quep"); // makes the statistics table if there is none
    db->exec("DELETE FROM sqlite_stat1 WHERE idx IN ('segmhandout','quep')");
    db->exec("INSERT INTO sqlite_stat1 VALUES('segm','segmhandout','1000000 1000 100'),"
             "('queu','quep','1000 100')");
    db->exec("ANALYZE sqlite_schema"); // the planner reads the statistics again
}
