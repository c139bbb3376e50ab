// The download engine as every view sees it: one interface answered by the model, the
// queue, the server workers and the decoder, each with real values only in its own
// group of operations. The order of the virtual operations, the notification codes and
// the command codes cross into the window library and must not change.
#pragma once
#include "observer.h"

#include <map>
#include <vector>

// Notification codes of update(code, data).
enum : unsigned {
    updQueueEnabled = 1,     // int 0/1: the queue was paused or resumed
    updFileProgress = 2,     // tfile*: a segment of the file was saved
    updFileState = 3,        // tfile*: the file's state changed
    updFileList = 4,         // the queue: file lists must be read again
    updPostList = 5,         // the queue: the post list must be read again
    updQueuePrio = 6,        // int 0/1: priority mode switched
    updSpeed = 7,            // int: total speed of all workers in KB/s
    updClientState = 12,     // the worker: its state changed
    updClientInfo = 13,      // the worker: its article, speed or delay changed
    updServersUnloaded = 14, // the model: the workers are about to be destroyed
    updServersLoaded = 15,   // the model: a new set of workers exists
    updDecoder = 21,         // int 1/0: the decoder thread started or ended
    updPostStage = 22,       // tpost*: the post's post-processing stage changed
};

// Command codes of handleCommandT(cmd, p1, p2).
enum : unsigned {
    cmdQueueEnable = 1,   // model, queue: int 0/1
    cmdClientEnable = 2,  // model: low 16 bits worker index (low byte 255 = all), high half start
    cmdDecoderEnable = 3, // model: int 0/1
    cmdQueuePrio = 5,     // model, queue: int 0/1
    cmdResetDB = 6,       // model
    cmdConfigChanged = 7, // model
    cmdReload = 8,        // model: int, non-zero clears the caches first
    cmdFileQueue = 10,    // queue: std::vector<int>* file ids
    cmdFileUnqueue = 11,  // queue: file ids
    cmdFileDecode = 12,   // queue: file ids
    cmdFileRetry = 15,    // queue: file ids
    cmdPostRemove = 16,   // queue: std::vector<int>* post ids
    cmdFilePrio = 30,     // queue: file ids; codes 30 to 39 set priority code - 30
    cmdFilePrioLast = 39,
    cmdTerminate = 65535, // model
};

// Event codes of handleEvent(evt, p1, p2), sent by the queue to the model.
enum : unsigned {
    evtDecodeAdd = 1,   // tfile*: to the decoder's list, with notification
    evtDecodeLoad = 2,  // tfile*: to the decoder's list, without notification
    evtDecodeClear = 3, // empty the decoder's list; a decode in progress lets go of its record
};

// File states (tfile::fileState); the database's decoCheck maps to decoCheck + 3.
enum : int {
    fsNotQueued = 0,
    fsQueued = 1,
    fsDownloading = 2,
    fsWaitDecode = 3,
    fsDecoding = 4,
    fsDecoded = 5,
    fsDecodeFailed = 6, // decoCheck 3: kept as fetched until the user retries it
};

// Post-processing stages of a post (tpost::ppStage, postStage.stage in the database).
enum : int {
    ppNone = 0,         // downloading, or not processed: views show the download progress
    ppWaiting = 1,      // every queued file is decoded; waiting for its turn
    ppFetchingPar2 = 2, // repair volumes queued; ppPercent is their download progress
    ppVerifying = 3,
    ppRepairing = 4, // ppPercent
    ppUnpacking = 5, // ppPercent
    ppDone = 6,
    ppFailed = 7, // ppNote says why
};

// Worker states (cstate()).
enum : int {
    csDisabled = 0,
    csIdle = 1,
    csActive = 2,
    csStopping = 3,
};

// The records below start cleared, so a cache entry made with `new` never shows views
// stale memory in a field its loader does not set.

// A fetched segment of a file. The message id field is as large as the worker slot's,
// so every id a worker fetched fits whole.
struct tsegd {
    int segmFID = 0;
    char segmMsgid[256] = {};
};

// A file as the queue's cache holds it; views read it without locking.
struct tfile {
    int filePID = 0;
    int fileFID = 0;
    long long fileSize = 0;     // bytes; 64-bit, files over 2 GiB exist
    long long fileProgress = 0; // bytes fetched so far
    int fileBusy = 0; // server workers fetching one of its segments right now
    int fileState = fsNotQueued;
    char fileSubject[256] = {};
    char fileName[256] = {};
    int fileDate = 0;
    int segcount = 0;
    int segavail = 0;
    int parblocks = 0;
    std::map<int, tsegd> segd; // by segment number
    int row = 0;               // position in the last qfiles list of its post
    char fileError[128] = {};  // why its last decode failed (state fsDecodeFailed)
};

// A post as the queue's cache holds it.
struct tpost {
    char postDesc[256] = {}; // first field: views read the description through the pointer
    char postSubject[256] = {};
    int row = 0; // position in the last qposts list
    int ppStage = ppNone;
    int ppPercent = 0;
    char ppNote[128] = {};    // why it failed, or a remark such as "no PAR2 set"
    char ppFolder[1024] = {}; // the post's own folder in the download folder; empty: none yet
};

// The segment a server worker is fetching (one per worker slot of the queue).
struct tsegm {
    int segmSID = 0;
    int segmFID = 0;
    int segmNum = 0;
    int segmBytes = 0;
    char segmMsgid[256] = {};
    int last = 0; // 1 when saving this segment completed its file
};

class NNTPmodel_iface : public _observable {
  public:
    // model
    virtual NNTPmodel_iface* getqueue() { return nullptr; }
    virtual NNTPmodel_iface* getdecoder() { return nullptr; }
    virtual NNTPmodel_iface* getclient(int) { return nullptr; }
    virtual void handleEvent(unsigned, void*, void*) {}
    // queue
    virtual int qenabled() { return 0; }
    virtual int qprioOn() { return 0; }
    virtual tpost* qpost(int) { return nullptr; }
    virtual tfile* qfile(int) { return nullptr; }
    virtual void qposts(std::vector<int>* posts) {
        if (posts) posts->clear();
    }
    virtual void qfiles(std::vector<int>* files, int) {
        if (files) files->clear();
    }
    // server worker
    virtual int cindex() { return 0; }
    virtual int cstate() { return 0; }
    virtual const char* chost() { return nullptr; }
    virtual const char* cresp() { return nullptr; }
    virtual const char* cinfo() { return nullptr; }
    virtual int cspeed() { return 0; }
    virtual int cdelay() { return 0; }
    // decoder
    virtual int denabled() { return 0; }
    virtual int dstate() { return 0; }
    virtual int dinfo() { return 0; }
    // server worker, added last so that the order above stays
    virtual int ctls() { return 0; }                   // 1 when its server is reached over TLS
    virtual const char* cfailure() { return nullptr; } // why its last connect failed, or null
};
