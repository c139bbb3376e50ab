// The post-processing stage's reads and writes in the article database.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

class sqliteDB;

// A post's files as the stage sees them.
struct tpostFiles {
    int pending = 0; // files still queued, or waiting for the decoder
    std::vector<std::pair<int, std::string>> placed; // (file id, path) the decoder left
    std::vector<std::pair<int, int>> volumes;        // unqueued recovery volumes (id, blocks)
    std::map<int, std::string> volumeNames;          // their names, by id
    std::vector<int> inFlight;                       // ids of files queued or being decoded
};

tpostFiles readPostFiles(sqliteDB& db, int pid);
// Files of the post still queued or waiting for the decoder.
int pendingFiles(sqliteDB& db, int pid);
std::string postDescription(sqliteDB& db, int pid);
// The archive password its NZB named, or "".
std::string postPassword(sqliteDB& db, int pid);
// Posts whose stage lies between waiting and unpacking.
std::vector<int> postsInProgress(sqliteDB& db);
// Percent of the bytes of files `fids` fetched so far.
int downloadPercent(sqliteDB& db, const std::vector<int>& fids);
// The file at `from` is now at `to` (renamed by a repair).
void movePlaced(sqliteDB& db, const std::string& from, const std::string& to);
// The file at `path` was removed.
void forgetPlaced(sqliteDB& db, const std::string& path);
