#include "nzbImport.h"

#include "quillmap.h"

#include <chrono>
#include <mutex>
#include <unistd.h>

namespace {

long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

bool importNzb(sqliteDB& db, const char* nzb, const char* script, tnzbImport* times) {
    tnzbImport result;
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("SELECT MAX(postPID) FROM post", cb_max, &result.postBase);
        db.exec("SELECT MAX(fileFID) FROM file", cb_max, &result.fileBase);
        // The new post gets the next id: a password left by a removed post that had it
        // must not become the new post's.
        db.exec("DELETE FROM postPassword WHERE pid > "
                "(SELECT IFNULL(MAX(postPID), 0) FROM post)");
    }
    auto start = std::chrono::steady_clock::now();
    char why[1024] = {};
    bool converted =
        quillmapChecked(nzb, script, result.postBase, result.fileBase, why, sizeof why) == 0;
    result.convertMs = millisecondsSince(start);
    result.failure = why;
    if (converted) {
        start = std::chrono::steady_clock::now();
        db.load(script);
        result.loadMs = millisecondsSince(start);
        unlink(script);
    }
    if (times) *times = result;
    return converted;
}
