#include "postRows.h"

#include "NNTPmodel_iface.h"
#include "sqliteDB.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {

using trows = std::vector<std::vector<std::string>>;

int collect(void* context, int columns, char** values, char**) {
    auto* rows = static_cast<trows*>(context);
    rows->emplace_back();
    for (int i = 0; i < columns; ++i)
        rows->back().push_back(values[i] ? values[i] : "");
    return 0;
}

// Runs the statement `format` makes of the arguments (sqlite3_mprintf: %Q for texts).
template <class... Args> trows query(sqliteDB& db, const char* format, Args... args) {
    trows rows;
    char* sql = sqlite3_mprintf(format, args...);
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec(sql, collect, &rows);
    }
    sqlite3_free(sql);
    return rows;
}

int number(const std::string& text) {
    return std::atoi(text.c_str());
}

// decoCheck 2 decoded, 3 failed: the decoder is done with those.
constexpr const char* kPending =
    "SELECT COUNT(*) FROM file WHERE filePID=%d AND (EXISTS (SELECT 1 FROM queu WHERE "
    "queuFID=fileFID) OR EXISTS (SELECT 1 FROM deco WHERE decoFID=fileFID AND decoCheck NOT IN "
    "(2, 3)))";

} // namespace

int pendingFiles(sqliteDB& db, int pid) {
    trows rows = query(db, kPending, pid);
    return rows.empty() ? 0 : number(rows[0][0]);
}

tpostFiles readPostFiles(sqliteDB& db, int pid) {
    tpostFiles files;
    files.pending = pendingFiles(db, pid);
    for (auto& row : query(db,
                           "SELECT fid, path FROM decodedFile, file WHERE fid=fileFID AND "
                           "filePID=%d ORDER BY fid, path",
                           pid))
        files.placed.emplace_back(number(row[0]), row[1]);
    for (auto& row : query(db,
                           "SELECT fileFID, parblocks, fileName FROM file WHERE filePID=%d AND "
                           "parblocks>0 AND fileFID NOT IN (SELECT queuFID FROM queu) AND fileFID "
                           "NOT IN (SELECT decoFID FROM deco) ORDER BY fileFID",
                           pid)) {
        files.volumes.emplace_back(number(row[0]), number(row[1]));
        files.volumeNames[number(row[0])] = row[2];
    }
    for (auto& row : query(db,
                           "SELECT fileFID FROM file WHERE filePID=%d AND (fileFID IN (SELECT "
                           "queuFID FROM queu) OR fileFID IN (SELECT decoFID FROM deco WHERE "
                           "decoCheck NOT IN (2, 3)))",
                           pid))
        files.inFlight.push_back(number(row[0]));
    return files;
}

std::string postDescription(sqliteDB& db, int pid) {
    trows rows = query(db, "SELECT postDesc FROM post WHERE postPID=%d", pid);
    return rows.empty() ? "" : rows[0][0];
}

std::string postPassword(sqliteDB& db, int pid) {
    trows rows = query(db, "SELECT password FROM postPassword WHERE pid=%d", pid);
    return rows.empty() ? "" : rows[0][0];
}

std::vector<int> postsInProgress(sqliteDB& db) {
    std::vector<int> posts;
    for (auto& row :
         query(db, "SELECT pid FROM postStage WHERE stage BETWEEN %d AND %d ORDER BY pid",
               (int)ppWaiting, (int)ppUnpacking))
        posts.push_back(number(row[0]));
    return posts;
}

int downloadPercent(sqliteDB& db, const std::vector<int>& fids) {
    std::string list;
    for (int fid : fids)
        list += (list.empty() ? "" : ",") + std::to_string(fid);
    trows rows =
        query(db, "SELECT SUM(fileProgress), SUM(fileSize) FROM file WHERE fileFID IN (%s)",
              list.c_str());
    if (rows.empty()) return 0;
    const long long size = std::atoll(rows[0][1].c_str());
    const long long fetched = std::atoll(rows[0][0].c_str());
    return size <= 0 ? 0 : (int)std::min(100LL, fetched * 100 / size);
}

void movePlaced(sqliteDB& db, const std::string& from, const std::string& to) {
    query(db, "UPDATE OR REPLACE decodedFile SET path=%Q WHERE path=%Q", to.c_str(), from.c_str());
}

void forgetPlaced(sqliteDB& db, const std::string& path) {
    query(db, "DELETE FROM decodedFile WHERE path=%Q", path.c_str());
}
