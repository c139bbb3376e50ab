// The post-processing stage: one thread that takes a post once every file queued of it is
// decoded (or failed), one post at a time, and checks it against its PAR2 set, repairing
// it in the same pass when it can, queues the recovery volumes a repair needs and waits
// for them, unpacks its archives into a folder of its own in the download folder, and
// removes archives and PAR2 files once everything is unpacked. Its state per post is the
// postStage row and the post's record, which the queue keeps and tells the views about.
//
// The tools run on the stage's thread, at the cost of that thread only: downloads and the
// decoder go on. A stop ends a running tool at once; the post keeps its stage and is
// taken up again from the start at the next start.
#pragma once
#include "cPause.h"
#include "cThread.h"
#include "postTools.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class NNTPqueue;
class sqliteDB;

class cPostProcessor : public cThread {
  public:
    // `tools` is owned. `refresh` is how often the download of queued recovery volumes is
    // looked at for the percent shown.
    cPostProcessor(NNTPqueue* queue, sqliteDB* db, std::unique_ptr<cPostTools> tools,
                   std::chrono::milliseconds refresh = std::chrono::milliseconds(1000));
    ~cPostProcessor() override;

    // A file of post `pid` was decoded or failed (the decoder's thread): once nothing of
    // the post is queued or waiting for the decoder, the post waits for its turn.
    void fileBooked(int pid);
    // The database was reset: waiting posts are forgotten, a post in work is dropped.
    void clear();

    // Takes up again every post whose stage shows work in progress, then runs the
    // thread. Refused (0) once terminate has begun.
    int start() override;
    void stop() override;
    // Ends the thread for good.
    void terminate();
    void run() override;

    int busy() const { return current.load(); }

  private:
    // The whole flow for one post.
    void process(int pid);
    // Checked and, where needed, repaired in one par2 pass; when more blocks are missing
    // than the files present hold, recovery volumes queued: false when the post cannot go
    // on now (waiting for volumes, failed, stopped).
    bool checkAndRepair(int pid, std::vector<std::string>& files, std::string& note);
    // Queues the fewest unqueued recovery volumes that make up for what `check` found
    // missing; fails the post when even all of them would not.
    void askForVolumes(int pid, const par2Check& check);
    void unpackAndClean(int pid, const std::vector<std::string>& files, const std::string& note);
    // The post's stage in its record, its row and the views; percent steps are passed on
    // only when the whole percent changed.
    void setStage(int pid, int stage, int percent = 0, const std::string& note = "");
    void fail(int pid, const std::string& reason);
    // Nothing more may be done for the post in work: stopped, reset, or deleted.
    bool dropped(int pid) const;
    // Percent downloaded of the recovery volumes each waiting post asked for.
    void showFetching();
    // A tool's progress 0..100 shown as `from` + its share of `span` percent.
    tprogress progressOf(int pid, int stage, const std::string& note, int from, int span);

    NNTPqueue* const queue;
    sqliteDB* const db;
    std::unique_ptr<cPostTools> tools;
    const std::chrono::milliseconds refresh;

    std::mutex lock; // the lists below
    std::vector<int> waiting;
    struct tfetch {
        std::vector<int> files; // the recovery volumes it waits for
        int percent = -1;       // last shown
    };
    // Posts waiting for recovery volumes; once they are decoded the post is taken up again
    // with a repair, which also decides whether still more are needed.
    std::map<int, tfetch> fetching;
    std::atomic<int> current{0};   // the post in work, 0 when none
    unsigned resetsAtStart = 0;    // the database's resets when it began
    std::atomic<bool> halt{false}; // ends a running tool
    std::atomic<bool> listed{false};
    int shownStage = -1;   // the stage thread's last stage and percent passed on
    int shownPercent = -1;

    std::mutex lifeLock; // start against terminate
    bool ended = false;
    cPause pause;
};
