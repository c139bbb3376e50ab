// The views' commands on files and posts, and the reset of the database.
#include "NNTPqueue.h"

#include "articleSchema.h"
#include "cDirectWriter.h"
#include "dbTransaction.h"
#include "fileHelpers.h"
#include "fixedField.h"
#include "sqliteDB.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Decimal ids joined by ",": the list of an "IN (...)".
std::string idList(const std::vector<int>& ids) {
    std::string list;
    for (int id : ids) {
        if (!list.empty()) list += ',';
        list += std::to_string(id);
    }
    return list;
}

std::string format(const char* pattern, const std::string& list) {
    std::string sql(pattern);
    sql.replace(sql.find("%s"), 2, list);
    return sql;
}

// The state a file command gives a file in `state`, or -1 when it leaves it alone.
int newState(int kind, int state) {
    switch (kind) {
    case fqUnqueue:
        return state <= fsDownloading ? fsNotQueued : -1;
    case fqQueue:
        return state <= fsDownloading ? fsQueued : -1;
    case fqDecode:
        return state <= fsQueued ? fsWaitDecode : -1;
    case fqRetry:
        if (state == fsDecodeFailed) return fsWaitDecode; // decoded again
        return state == fsQueued || state == fsDownloading ? fsQueued : -1;
    default:
        return -1;
    }
}

} // namespace

void NNTPqueue::fqueue(std::vector<int>* ids, int kind) {
    if (!ids || !db) return;
    const bool prio = kind >= fqPrio && kind <= fqPrioLast;
    if (!prio && (kind < fqUnqueue || kind > fqRetry)) return;

    std::vector<int> listed;
    {
        std::shared_lock<std::shared_mutex> cache(cacheLock);
        for (int fid : *ids) {
            if (kind == fqDecode) {
                // Only files with something fetched that are neither decoding nor done.
                tfile* file = findFile(fid);
                if (!file || file->fileProgress <= 0 || file->fileState > fsQueued) continue;
            }
            listed.push_back(fid);
        }
    }
    const std::string list = idList(listed);
    if (list.empty()) return;

    int rc;
    {
        dbTransaction transaction(*db);
        switch (kind) {
        case fqUnqueue:
            rc = transaction.exec(format("DELETE FROM queu WHERE queuFID IN (%s)", list).c_str());
            break;
        case fqQueue:
            // Files queued already keep their row and priority; the others are added
            // (one existing key would otherwise fail the whole statement). A file on
            // the decoder list has nothing left to fetch.
            rc = transaction.exec(format("INSERT OR IGNORE INTO queu(queuFID) SELECT fileFID "
                                         "FROM file WHERE fileFID IN (%s) AND fileFID NOT IN "
                                         "(SELECT decoFID FROM deco)",
                                         list)
                                      .c_str());
            break;
        case fqDecode:
            printf("decode... %s \n", list.c_str());
            rc = transaction.exec(format("DELETE FROM queu WHERE queuFID IN (%s)", list).c_str());
            if (rc == SQLITE_OK)
                transaction.exec(format("INSERT INTO deco(decoFID) SELECT fileFID FROM file WHERE "
                                        "fileFID IN (%s)",
                                        list)
                                     .c_str());
            break;
        case fqRetry:
            printf("retry... %s \n", list.c_str());
            rc = transaction.exec(format("DELETE FROM segf WHERE segfSID IN (SELECT segmSID FROM "
                                         "segm WHERE segmFID IN (%s))",
                                         list)
                                      .c_str());
            if (rc == SQLITE_OK)
                transaction.exec(
                    format("UPDATE deco SET decoCheck=0 WHERE decoCheck=3 AND decoFID IN (%s)",
                           list)
                        .c_str());
            break;
        default: {
            printf("setprio... %d %s \n", kind - fqPrio, list.c_str());
            std::string sql = "UPDATE queu SET queuPrio=" + std::to_string(kind - fqPrio) +
                              " WHERE queuFID IN (" + list + ")";
            rc = transaction.exec(sql.c_str());
        }
        }
    }
    if (rc != SQLITE_OK || prio) return;
    if (kind == fqRetry) {
        // Their failure marks are gone: every server gets to try those segments again.
        std::lock_guard<std::mutex> guard(fileLock);
        for (int fid : listed)
            givenUp.erase(fid);
    }

    std::shared_lock<std::shared_mutex> cache(cacheLock);
    for (auto id = listed.rbegin(); id != listed.rend(); ++id) {
        tfile* file = findFile(*id);
        if (!file) continue;
        int state = newState(kind, file->fileState);
        if (state < 0) continue;
        file->fileState = state;
        notify(updFileState, file);
        if (state == fsWaitDecode && model) model->handleEvent(evtDecodeAdd, file, nullptr);
    }
    if (kind == fqQueue || kind == fqRetry) workArrived();
}

void NNTPqueue::premove(std::vector<int>* ids) {
    if (!ids) return;
    const std::string list = idList(*ids);
    if (list.empty()) return;
    std::lock_guard<std::mutex> maintenance(maintenanceLock);
    std::vector<tfile*> released;
    if (db) {
        // The ids of deleted rows come back with the next import: no save of a segment
        // handed out before may book into them. Segments of other posts in work are
        // given back with them and fetched again.
        std::unique_lock<std::shared_mutex> cache(cacheLock);
        dbTransaction transaction(*db);
        released = dropHandOuts();
        discardParts(format("WHERE filePID IN (%s)", list));
        transaction.exec(format("DELETE FROM post WHERE postPID IN (%s)", list).c_str());
        transaction.exec(format("DELETE FROM file WHERE filePID IN (%s)", list).c_str());
        transaction.exec("DELETE FROM queu WHERE queuFID NOT IN (SELECT fileFID from file)");
        transaction.exec("DELETE FROM deco WHERE decoFID NOT IN (SELECT fileFID from file)");
        transaction.exec("DELETE FROM segm WHERE segmFID NOT IN (SELECT fileFID from file)");
        transaction.exec("DELETE FROM segf WHERE segfSID NOT IN (SELECT segmSID from segm)");
        transaction.exec("UPDATE segm SET segmState=0 WHERE segmState=1");
        // The engine's own rows of the posts: their ids come back with a later import.
        transaction.exec(format("DELETE FROM postStage WHERE pid IN (%s)", list).c_str());
        transaction.exec(format("DELETE FROM postPassword WHERE pid IN (%s)", list).c_str());
        transaction.exec("DELETE FROM decodedFile WHERE fid NOT IN (SELECT fileFID FROM file)");
    }
    for (tfile* file : released)
        notify(updFileState, file);
    const std::string folder = tempfolder();
    for (auto pid = ids->rbegin(); pid != ids->rend(); ++pid) {
        tpost* removed = nullptr;
        {
            std::unique_lock<std::shared_mutex> cache(cacheLock);
            auto found = posts.find(*pid);
            if (found != posts.end()) {
                removed = found->second;
                posts.erase(found);
            }
        }
        delete removed;
        char name[32];
        snprintf(name, sizeof name, "/%x.*.*.segm", (unsigned)*pid);
        removeM((folder + name).c_str());
    }
    // The posts' file records stay until the next load, which builds the caches afresh.
    clearOnLoad.store(true);
    notify(updPostList, this);
    notify(updFileList, this);
}

void NNTPqueue::discardParts(const std::string& where) {
    cDirectWriter* writer = directWriter.load();
    if (!writer) return;
    std::vector<tfile> deleted;
    auto collect = [](void* out, int, char** values, char**) {
        tfile file;
        file.filePID = std::atoi(values[0]);
        file.fileFID = std::atoi(values[1]);
        copyField(file.fileName, values[2] ? values[2] : "");
        static_cast<std::vector<tfile>*>(out)->push_back(file);
        return 0;
    };
    db->exec(("SELECT filePID, fileFID, fileName FROM file " + where).c_str(), collect, &deleted);
    for (const tfile& file : deleted)
        writer->discard(file);
}

void NNTPqueue::resetDB(int now) {
    if (!now) {
        std::lock_guard<std::mutex> guard(resetLock);
        if (resetThread.joinable()) resetThread.join(); // one reset at a time
        resetThread = std::thread(resetDB_static, this);
        return;
    }
    if (model) model->handleEvent(evtDecodeClear, nullptr, nullptr);
    if (db) {
        // Ids count from 1 again in the new database: saves of segments handed out from
        // the old one are dropped. The records go with the load below.
        std::unique_lock<std::shared_mutex> cache(cacheLock);
        std::lock_guard<sqliteDB> guard(*db);
        dropHandOuts();
        discardParts("");
        db->resetDB(ARTICLES_SQL);
    }
    removeM((tempfolder() + "/*.segm").c_str());
    load(1);
}

void NNTPqueue::waitReset() {
    std::lock_guard<std::mutex> guard(resetLock);
    if (resetThread.joinable()) resetThread.join();
}

void NNTPqueue::resetDB_static(void* self) {
    static_cast<NNTPqueue*>(self)->resetDB(1);
}

void NNTPqueue::handleCommandT(unsigned cmd, void* p1, void*) {
    auto* ids = static_cast<std::vector<int>*>(p1);
    switch (cmd) {
    case cmdQueueEnable:
        setRunning((int)(intptr_t)p1);
        break;
    case cmdQueuePrio:
        setPrio((int)(intptr_t)p1);
        break;
    case cmdFileQueue:
        fqueue(ids, fqQueue);
        break;
    case cmdFileUnqueue:
        fqueue(ids, fqUnqueue);
        break;
    case cmdFileDecode:
        fdecode(ids);
        break;
    case cmdFileRetry:
        fretry(ids);
        break;
    case cmdPostRemove:
        premove(ids);
        break;
    default:
        if (cmd >= cmdFilePrio && cmd <= cmdFilePrioLast)
            fqueue(ids, fqPrio + (int)(cmd - cmdFilePrio));
        break;
    }
}
