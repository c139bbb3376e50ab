// A post's post-processing stage: its record, its postStage row and the views.
#include "NNTPqueue.h"

#include "dbTransaction.h"
#include "fixedField.h"
#include "sqliteDB.h"

void NNTPqueue::setPostStage(int pid, int stage, int percent, const std::string& note,
                             unsigned resets) {
    // A reset holds the cache lock while it rebuilds the database.
    std::shared_lock<std::shared_mutex> cache(cacheLock);
    if (db && db->resets() != resets) return;
    auto found = posts.find(pid);
    if (found == posts.end()) return; // deleted meanwhile: no row for an id to come
    if (db) {
        // A delete may have taken the post's rows already and not yet its record.
        char* sql = sqlite3_mprintf("INSERT OR REPLACE INTO postStage (pid, stage, percent, note) "
                                    "SELECT %d, %d, %d, %Q WHERE EXISTS (SELECT 1 FROM post "
                                    "WHERE postPID=%d)",
                                    pid, stage, percent, note.c_str(), pid);
        dbTransaction transaction(*db);
        transaction.exec(sql);
        sqlite3_free(sql);
    }
    tpost* post = found->second;
    post->ppStage = stage;
    post->ppPercent = percent;
    copyField(post->ppNote, note.c_str());
    notify(updPostStage, post);
}
