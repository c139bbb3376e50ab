// The decoder: one thread that takes completed files one at a time, in file id order,
// and runs the outside program yydecode on their temporary segment files. yydecode
// joins and decodes them into the download folder; on success the segment files and
// rows go and the file is marked decoded. A run that cannot start or that fails keeps
// every segment file and row and marks the file failed (decoCheck 3, with the reason),
// so nothing fetched is lost and the user's retry decodes it again.
#pragma once
#include "NNTPmodel_iface.h"
#include "cPause.h"
#include "cThread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class sqliteDB;
class cDirectWriter;

class NNTPdecoder : public NNTPmodel_iface, public cThread {
  public:
    // Reads the temporary and the download folder from ./config.ini. `idleWait` is how
    // long an empty list is left alone before it is looked at again.
    explicit NNTPdecoder(sqliteDB* db,
                         std::chrono::milliseconds idleWait = std::chrono::milliseconds(5000));
    ~NNTPdecoder() override;

    // Where the segment files lie and where yydecode writes; taken by the next decode.
    void setfolders(const char* tempfolder, const char* downloadto);

    // Files whose parts the writer put into their output file are finished by it; their
    // segment files, if any, still go through yydecode. Null: yydecode only.
    void setDirectWriter(cDirectWriter* writer) { directWriter.store(writer); }

    // Called on the decoder's thread with the post id after each decode or finish was
    // booked (decoded or failed); set before the thread starts.
    void setBookedHook(std::function<void(int pid)> hook) { booked = std::move(hook); }

    // Lists a file waiting for decoding (state 3) once; sends updFileState when `notify`
    // is non-zero, whatever the state.
    void adddecode(int fid, tfile* file, int notify);
    // Empties the list at once, before the queue deletes the records it points to. A
    // decode in progress runs on but no longer touches its record: its result goes to
    // the record listed under the same id by then, if any.
    void clrdecode();
    // Decodes or finishes the file `taken` names (its ids and name, copied when it was
    // taken off the list): 0 on success; -1 when yydecode cannot be started or the direct
    // write's finish failed, otherwise yydecode's non-zero exit code (-1 too when it was
    // killed). Only success removes segment files; a failure leaves its reason in `failure`.
    int dcdecode(int fid, const tfile& taken);

    // Refused (0) once terminate has begun.
    int start() override;
    void stop() override;
    // Ends the thread for good: no start and no clear runs it again.
    void terminate();
    void run() override;

    int denabled() override { return hasThread() ? 1 : 0; }
    int dstate() override { return busy.load(); }
    int dinfo() override { return 0; }

  private:
    // Takes the lowest listed file off the list as the one being decoded and shows it
    // decoding; `taken` gets its ids and name, which stay valid after a clear lets go of
    // the record. False when the list is empty.
    bool takeFirst(int& fid, tfile& taken);
    // Books the result of decoding `taken` (dcdecode's return) in the database and in
    // the record it belongs to now.
    void finish(const tfile& taken, int rc);
    // The database part of a success: the file's segments go, its deco row says decoded.
    // A file deleted meanwhile has no waiting deco row and is left alone.
    void markDecoded(int fid);
    void markFailed(int fid);
    // Records the paths the decode left (`placed`) for the file; caller holds the lock.
    void recordPlaced(int fid);
    void setState(tfile* file, int state); // caller holds listLock
    // The database was reset since the decode began: its file id names another file now.
    bool resetSince() const;

    // Runs yydecode on the file's segment files, `names` ("/<post>.<file>.*.segm") in `temp`.
    int runYydecode(const tfile& taken, const std::string& temp, const char* names,
                    const std::string& download);

    sqliteDB* db;
    std::atomic<cDirectWriter*> directWriter{nullptr};
    const std::chrono::milliseconds idleWait;
    // "decoclear": the list, the record being decoded and the two folders. Held while a
    // record's state changes, so a clear never returns while one is being touched.
    std::mutex listLock;
    std::map<int, tfile*> list;
    tfile* decoding = nullptr; // null when idle or when a clear let go of it
    std::string tempfolder;
    std::string downloadto;
    std::string failure; // the decoder thread's reason for its last failed decode
    std::vector<std::string> placed; // the decoder thread's files of its last decode
    std::function<void(int)> booked;
    unsigned resetsAtStart = 0; // the database's resets when the decode began
    std::atomic<int> busy{0};
    std::atomic<bool> listed{false}; // a file was listed since the loop last looked
    std::mutex lifeLock;             // start against terminate
    bool ended = false;              // guarded by lifeLock
    cPause pause;
};
