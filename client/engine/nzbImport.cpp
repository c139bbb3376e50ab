#include "nzbImport.h"

#include "fileHelpers.h"
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
    }
    auto start = std::chrono::steady_clock::now();
    quillmap(nzb, script, result.postBase, result.fileBase);
    result.convertMs = millisecondsSince(start);
    bool converted = file_exists(script) == 0;
    if (converted) {
        start = std::chrono::steady_clock::now();
        db.load(script);
        result.loadMs = millisecondsSince(start);
        unlink(script);
    }
    if (times) *times = result;
    return converted;
}
