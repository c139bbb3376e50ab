// The segment queue: hands each server worker the next segment its server has not
// failed on, saves fetched articles as temporary segment files, books progress, moves a
// completed file from the download queue to the decoder list, and carries out the
// views' commands on files and posts. It also owns the post and file records the views
// and the decoder read.
//
// Locks: the database lock ("dblock") around every statement sequence; the file lock
// ("tfileupdate") around a file record's busy count, progress and fetched-segment map.
// The two are never held together. The caches' maps are guarded by a reader/writer lock
// of their own: workers and views read under it, load, free and premove change them
// under it, so a reload during a download never pulls a record from under a worker.
#pragma once
#include "NNTPmodel_iface.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

class sqliteDB;
class cDirectWriter;

// Kinds of fqueue: what a file command does.
enum : int {
    fqUnqueue = 0,
    fqQueue = 1,
    fqDecode = 2,
    fqRetry = 3,
    fqPrio = 10, // 10 to 19: priority kind - 10
    fqPrioLast = 19,
};

class NNTPqueue : public NNTPmodel_iface {
  public:
    // Number of worker slots; a worker index must lie in 0 .. SLOTS - 1.
    static constexpr int SLOTS = 32;

    // Running, priority mode off, empty caches, cleared slots. `model` receives the
    // decoder events; `db` is the article database (either may be null).
    NNTPqueue(NNTPmodel_iface* model, sqliteDB* db);
    ~NNTPqueue() override;
    NNTPqueue(const NNTPqueue&) = delete;
    NNTPqueue& operator=(const NNTPqueue&) = delete;

    // (Re)builds the caches from the database; with `clear` (or after posts were
    // deleted) from scratch. Returns the number of cached files.
    int load(int clear);
    // Empties both caches; the decoder is told to drop its list first.
    void free();

    // Gives worker `index` its next segment for server `hostid`: the message id in the
    // worker's slot (valid until the worker's next call), or null when the queue is
    // paused, empty for this server, or the index is no slot.
    char* next(int index, int hostid);
    // Stores the article fetched by worker `index` and books its segment. A segment
    // file that cannot be written is given back unfetched and the queue is paused.
    void save(int index, std::string* article);
    // Writes one segment file "<temp>/<post>.<file>.<segment>.segm" (hex). 0 when the
    // whole article was written; -1 otherwise (nothing is left behind).
    int savesegment(tfile* file, tsegm* segment, std::string* article);
    // With a writer, yEnc articles are decoded into their output file as they are saved
    // instead of being written as segment files (null: segment files only).
    void setDirectWriter(cDirectWriter* writer) { directWriter.store(writer); }
    // Gives worker `index`'s segment back unfetched, without a failure mark.
    void rset(int index);
    // Marks worker `index`'s segment as failed on server `hostid` and gives it back.
    void fail(int index, int hostid);
    // Counts a file's segments in work up (delta >= 0) or down (delta < 0).
    void setbusy(tfile* file, int delta);
    // Counts a segment of `file` as given up and, when that leaves nothing to fetch,
    // sends the file to the decoder.
    void giveUp(tfile* file, int sid);
    // True when every configured server failed on segment `sid`.
    bool failedEverywhere(int sid);
    // Books a saved segment in the file record; sets the slot's last flag when this
    // segment completed the file.
    void setprogress(tfile* file, tsegm* segment);

    // File commands on a list of file ids (kinds above).
    void fqueue(std::vector<int>* files, int kind);
    void fretry(std::vector<int>* files) { fqueue(files, fqRetry); }
    void fdecode(std::vector<int>* files) { fqueue(files, fqDecode); }
    void fremove(std::vector<int>*) {}
    // Deletes the posts with their files, queue and decoder entries, segments, failure
    // marks and segment files.
    void premove(std::vector<int>* posts);

    // Rebuilds the database from the schema script and reloads; with 0 on a thread of
    // its own (the call returns at once).
    void resetDB(int now);
    static void resetDB_static(void* self);
    // Returns once a reset running on its own thread has ended.
    void waitReset();

    // Idle workers wait here for new work: a reload, a resumed queue, files queued or
    // retried, a segment that one server lacks. `workCount` taken before the worker last
    // asked for a segment says what it has seen; `stopped` is checked first and after
    // every wake. False when `stopped` ended the wait.
    unsigned workCount();
    bool awaitWork(std::chrono::milliseconds duration, unsigned seen,
                   const std::function<bool()>& stopped);
    // Makes waiting workers check `stopped` now.
    void wakeIdle();

    // Folder of the segment files, set by the model.
    void settemp(const char* folder);
    std::string tempfolder() const;
    // The download folder, in which each post gets the folder it is unpacked into.
    void setdownload(const std::string& folder);
    std::string downloadfolder() const;

    // The `hostid`s of the configured servers. A segment every one of them failed on is
    // given up: its file is decoded without it once every other segment is saved.
    void setHosts(const std::vector<int>& hostids);

    // Sets a post's post-processing stage in its record and its postStage row and tells
    // the observers (updPostStage). Nothing happens for a post that is not loaded, nor
    // when the database was reset since it had made `resets` resets (its ids are another
    // import's by now).
    void setPostStage(int pid, int stage, int percent, const std::string& note, unsigned resets);

    // 1 running flag, 5 priority mode, 10 queue, 11 unqueue, 12 decode, 15 retry,
    // 16 delete posts, 30 to 39 priority; other codes are ignored.
    void handleCommandT(unsigned cmd, void* p1, void* p2) override;

    int qenabled() override { return running.load(); }
    int qprioOn() override { return prioOn.load(); }
    tpost* qpost(int pid) override;
    tfile* qfile(int fid) override;
    void qposts(std::vector<int>* posts) override;
    void qfiles(std::vector<int>* files, int pid) override;

    // The slot of worker `index` (null for no slot); the worker's current segment.
    const tsegm* slot(int index) const;

  private:
    tsegm* slotAt(int index, const char* operation); // null (and a log line) for no slot
    // True (with a log line, the slot emptied) when worker `index`'s segment was handed
    // out before posts were deleted or the database reset: its ids may name other rows
    // by now. Caller holds cacheLock.
    bool handedOutBefore(int index, const char* operation);
    // Makes every segment in work stale and zeroes the busy counts its workers will no
    // longer release; the files whose state changed are returned for notification.
    // Caller holds cacheLock exclusively and the database lock.
    std::vector<tfile*> dropHandOuts();
    tfile* findFile(int fid) const;                  // caller holds cacheLock
    // Direct write where it can, else a segment file: 0 when the article is stored.
    int storeArticle(tfile* file, tsegm* segment, std::string* article);
    // Sets the segment in `slot` back to fetchable, with a failure mark for `hostid`
    // when `failed`, and counts its file's busy segments down.
    void giveBack(tsegm* slot, tfile* file, bool failed, int hostid);
    void freeL();          // free() for a caller that holds maintenanceLock
    void prepareHandOut(); // caller holds the database lock
    void setRunning(int on);
    void setPrio(int on);
    static void deleteRecords(std::map<int, tpost*>& posts, std::map<int, tfile*>& files);
    // Has the direct writer remove the parts of the file rows `where` selects, which are
    // about to be deleted. Caller holds cacheLock exclusively (no save writes meanwhile)
    // and the database lock.
    void discardParts(const std::string& where);

    void workArrived();

    NNTPmodel_iface* model;
    sqliteDB* db;
    std::atomic<cDirectWriter*> directWriter{nullptr};
    std::mutex idleLock;
    std::condition_variable idleWake;
    unsigned workGeneration = 0; // guarded by idleLock
    std::atomic<int> running{1};
    std::atomic<int> prioOn{0};
    std::atomic<bool> clearOnLoad{false};

    mutable std::mutex folderLock;
    std::string tempFolder;
    std::string downloadFolder = "./temp";
    std::string hostList; // the configured hostids joined by ","
    int hostCount = 0;

    std::map<int, int> givenUp; // file id: segments given up; under fileLock

    mutable std::shared_mutex cacheLock; // the two maps and the lifetime of their records
    std::mutex maintenanceLock;          // one load, free or premove at a time
    std::map<int, tpost*> posts;
    std::map<int, tfile*> files;

    tsegm slots[SLOTS];
    // Changed only under cacheLock held exclusively and the database lock; each slot
    // keeps the value it was handed out under.
    std::atomic<unsigned> generation{0};
    unsigned slotGeneration[SLOTS] = {};
    std::mutex fileLock; // "tfileupdate"

    std::mutex resetLock; // guards resetThread
    std::thread resetThread;
};
