// Follows a download of the running corvane program from outside: its article database
// is read (read-only, beside the program's own writes) for what is saved and decoded.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

struct DownloadCounts {
    int segments = -1;    // segments of every imported file; -1: database not readable
    int saved = 0;        // segments saved as segment files (or already decoded)
    int busy = 0;         // segments handed to a worker and not saved yet
    int files = 0;        // imported files
    int decoded = 0;      // files decoded into the download folder
    int failureMarks = 0; // segments a server did not have, one per server
};

// A post's post-processing stage as its postStage row holds it.
struct PostStageRow {
    int stage = 0; // ppNone until the row exists
    int percent = 0;
    std::string note;
};

class DownloadWatch {
  public:
    // `home` is the program folder; the database is its data/articles.db.
    explicit DownloadWatch(const std::string& home);

    DownloadCounts counts() const;
    // Waits until `files` files are decoded, for at most `timeoutSeconds`, printing a
    // progress line a second to `report` (none when null). False on time-out.
    bool waitForDecoded(int files, int timeoutSeconds, FILE* report) const;
    // Waits until at least `segments` segments are saved. False on time-out.
    bool waitForSaved(int segments, int timeoutSeconds) const;
    // The stage of the first post.
    PostStageRow postStage() const;
    // Waits until the first post is done or failed, for at most `timeoutSeconds`, printing
    // the download progress and every stage it passes to `report` (none when null).
    // Returns the last stage seen.
    PostStageRow waitForPostStageEnd(int timeoutSeconds, FILE* report) const;
    // Names of the PAR2 recovery volumes (files with blocks) that were downloaded.
    std::vector<std::string> fetchedRecoveryVolumes() const;
    // Message ids (without angle brackets) of the segments not saved yet.
    std::vector<std::string> unsavedIds() const;
    // SQLite's integrity check of the database answers "ok".
    bool intact() const;

  private:
    std::string database;
};
