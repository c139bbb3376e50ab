// The download engine as one object: the article database, the segment queue, the
// decoder and the server workers, driven by ./config.ini. The program's start-up code
// makes one, calls initialize with its listening control socket, feeds it the commands
// of that socket, and destroys it after terminate.
//
// Threads: initialize and terminate run on the start-up thread; commands arrive on
// command threads and on the control socket's thread; the speed and disk monitors run
// on threads of their own. The worker list is guarded by a lock of its own, so a
// command or a monitor never reaches a worker that a configuration change deletes.
#pragma once
#include "Corvane.h"
#include "NNTPdecoder.h"
#include "cDirectWriter.h"
#include "NNTPmodel_iface.h"
#include "NNTPqueue.h"
#include "postProcessor.h"
#include "sqliteDB.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class NNTPmodel : public NNTPmodel_iface {
  public:
    // Workers the queue has slots for; configured connections beyond it are not created.
    static constexpr int MAX_WORKERS = NNTPqueue::SLOTS;
    // Below this many MiB free in the download or temporary folder the queue pauses.
    static constexpr long long LOW_DISK_MIB = 500;

    // Bytes available to the user in the file system holding `folder`; -1 when unknown.
    using tfreeSpace = std::function<long long(const std::string& folder)>;

    // Creates queue, decoder and database object; reads only the decoder's two folders.
    // Workers pause for `times` (tests shorten them).
    explicit NNTPmodel(tworkerTimes times = {});
    // Terminates first when initialize ran and terminate did not.
    ~NNTPmodel() override;
    NNTPmodel(const NNTPmodel&) = delete;
    NNTPmodel& operator=(const NNTPmodel&) = delete;

    // Keeps the listening control socket (-1 when there is none), opens the database,
    // loads the queue, restores its settings, creates the workers, starts the decoder
    // and the two monitors. Returns 0.
    int initialize(int controlSocket);
    // The control socket handed to initialize; -1 once terminate has begun.
    int controlSocket() const { return listener.load(); }

    // Creates the workers of every configured server (at most MAX_WORKERS) and starts
    // the first `numactive` of each server.
    int loadservers();
    // Saves `numactive` per server, stops every worker and deletes them.
    int unloadservers();
    // After the settings dialog: workers again, decoder folders again.
    int configchanged();

    // 1 queue running, 2 workers, 3 decoder, 5 priority mode, 6 database reset,
    // 7 configuration change, 8 reload, 65535 terminate; other codes are ignored.
    void handleCommandT(unsigned cmd, void* p1, void* p2) override;
    // The queue's decoder events: 1 and 2 list a file, 3 clears the list.
    void handleEvent(unsigned evt, void* p1, void* p2) override;

    NNTPmodel_iface* getqueue() override { return &queue; }
    NNTPmodel_iface* getdecoder() override { return &decoder; }
    // The worker with that index, or null.
    NNTPmodel_iface* getclient(int index) override;

    // Imports one NZB file through the converter into the database. The queue's caches
    // are not reloaded: the caller follows with cmdReload. 0 when imported, -1 when the
    // converter wrote no script; `failure`, when given, then receives its reason.
    int addnzb(const char* nzb, std::string* failure = nullptr);
    // Asks the user, then runs ./data/update.sql with the queue paused. 0 when it ran,
    // -1 when the user declined.
    int execsql(const char* script);

    // Ends the monitors, saves queue, queueprio and decoder, stops and deletes the
    // workers, ends the decoder, closes the database, then shuts and closes the control
    // socket so that a blocked accept returns. A second call returns at once. Returns 0.
    int terminate();

    // The total speed of all workers in KB/s, as last computed by the speed monitor.
    int totalSpeed() const { return speed.load(); }
    // Replaces the free space query of the disk monitor (tests); takes effect at once.
    void setFreeSpaceQuery(tfreeSpace query);

    static void totalM_static(void* self);
    static void lowdiskM_static(void* self);

  private:
    // Waits one monitor tick of 100 ms; false once the monitors are to end.
    bool tick();
    void totalM();
    void lowdiskM();
    // Free MiB for the disk monitor: -1 when unknown.
    long long freeMiB(const std::string& folder);
    void enableClients(unsigned p1);
    void enableDecoder(int on);
    void setQueueRunning(int on);
    // `key` of DEFAULT when that folder exists, otherwise ./temp.
    static std::string existingFolderOr(const char* key);

    // Destroyed in reverse: the post-processing stage and the decoder (whose list points
    // into the queue's records) before the queue, all before the direct writer and the
    // database they use.
    sqliteDB db;
    cDirectWriter directWriter; // outlives the queue and the decoder that use it
    NNTPqueue queue;
    NNTPdecoder decoder;
    cPostProcessor postProcessor; // follows the decoder: started and stopped with it
    const tworkerTimes times;

    std::atomic<int> listener{-1};
    std::atomic<bool> initialized{false};
    std::atomic<int> speed{0};

    std::mutex foldersLock; // the two monitored folders
    std::string downloadFolder;
    std::string tempFolder;

    std::mutex freeSpaceLock;
    tfreeSpace freeSpace;

    std::mutex terminateLock; // held for the whole of terminate
    bool terminated = false;

    std::mutex monitorLock;
    std::condition_variable monitorWake;
    bool monitorsRun = false; // guarded by monitorLock
    std::thread speedMonitor;
    std::thread diskMonitor;

    std::recursive_mutex workersLock; // the worker list
    std::vector<std::unique_ptr<Corvane>> workers;
};
