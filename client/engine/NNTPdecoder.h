// The decoder: one thread that takes completed files one at a time, in file id order,
// and runs the outside program yydecode on their temporary segment files. yydecode
// joins and decodes them into the download folder; on success the segment files and
// rows go and the file is marked decoded. A run that cannot start or that fails keeps
// every segment file and row, so nothing fetched is lost and the user can try again.
#pragma once
#include "NNTPmodel_iface.h"
#include "cPause.h"
#include "cThread.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

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

    // Lists a file waiting for decoding (state 3) once; sends updFileState when `notify`
    // is non-zero, whatever the state.
    void adddecode(int fid, tfile* file, int notify);
    // Empties the list. A running thread is stopped first, after the file it decodes,
    // and started again afterwards, so the list never points at records being deleted.
    void clrdecode();
    // Decodes one file: 0 on success; -1 when yydecode cannot be started or the direct
    // write's finish failed, otherwise yydecode's non-zero exit code (-1 too when it was
    // killed). Only success removes segment files.
    int dcdecode(int fid, tfile* file);

    int start() override;
    void stop() override;
    void run() override;

    int denabled() override { return hasThread() ? 1 : 0; }
    int dstate() override { return busy.load(); }
    int dinfo() override { return 0; }

  private:
    // The lowest listed file id and its record; false when the list is empty.
    bool firstListed(int& fid, tfile*& file);
    void unlist(int fid);
    // The database part of a success: the file's segments go, its deco row says decoded.
    void markDecoded(int fid);
    void setState(tfile* file, int state);

    // Runs yydecode on the file's segment files.
    int runYydecode(int fid, tfile* file, const std::string& temp, const std::string& download);

    sqliteDB* db;
    std::atomic<cDirectWriter*> directWriter{nullptr};
    const std::chrono::milliseconds idleWait;
    std::mutex listLock; // "decoclear": the list and the two folders
    std::map<int, tfile*> list;
    std::string tempfolder;
    std::string downloadto;
    std::atomic<int> busy{0};
    std::atomic<bool> listed{false}; // a file was listed since the loop last looked
    cPause pause;
};
