#include "DownloadWatch.h"

#include "postStageText.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A read-only connection that waits for the program's write transactions to end.
class ReadConnection {
  public:
    explicit ReadConnection(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
            return;
        }
        sqlite3_busy_timeout(db, 5000);
    }
    ~ReadConnection() { sqlite3_close(db); }
    ReadConnection(const ReadConnection&) = delete;
    ReadConnection& operator=(const ReadConnection&) = delete;

    bool open() const { return db != nullptr; }

    // The first column of every row of `sql` as text; false when the statement failed.
    bool column(const char* sql, std::vector<std::string>& values) const {
        sqlite3_stmt* statement = nullptr;
        if (!db || sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return false;
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            values.emplace_back(text ? (const char*)text : "");
        }
        sqlite3_finalize(statement);
        return step == SQLITE_DONE;
    }

    // The single number `sql` yields, or -1.
    int number(const char* sql) const {
        std::vector<std::string> values;
        if (!column(sql, values) || values.empty()) return -1;
        return atoi(values.front().c_str());
    }

  private:
    sqlite3* db = nullptr;
};

void progressLine(FILE* report, Clock::time_point start, const DownloadCounts& now, int files,
                  const std::string& stage) {
    fprintf(report, "%6.1f s  saved %5d of %5d segments  decoded %d of %d files%s%s\n",
            std::chrono::duration<double>(Clock::now() - start).count(), now.saved, now.segments,
            now.decoded, files, stage.empty() ? "" : "  ", stage.c_str());
    fflush(report);
}

} // namespace

DownloadWatch::DownloadWatch(const std::string& home) : database(home + "/data/articles.db") {}

DownloadCounts DownloadWatch::counts() const {
    DownloadCounts counts;
    ReadConnection db(database);
    if (!db.open()) return counts;
    // Decoded files lose their segment rows, so the total comes from the file rows.
    int total = db.number("SELECT IFNULL(SUM(segcount), 0) FROM file");
    int waiting = db.number("SELECT COUNT(*) FROM segm WHERE segmState<>2");
    if (total < 0 || waiting < 0) return counts;
    counts.segments = total;
    counts.saved = total - waiting;
    counts.busy = db.number("SELECT COUNT(*) FROM segm WHERE segmState=1");
    counts.files = db.number("SELECT COUNT(*) FROM file");
    counts.decoded = db.number("SELECT COUNT(*) FROM deco WHERE decoCheck=2");
    counts.failureMarks = db.number("SELECT COUNT(*) FROM segf");
    return counts;
}

bool DownloadWatch::waitForDecoded(int files, int timeoutSeconds, FILE* report) const {
    auto start = Clock::now();
    auto deadline = start + std::chrono::seconds(timeoutSeconds);
    auto nextLine = start;
    for (;;) {
        DownloadCounts now = counts();
        bool done = now.decoded >= files;
        bool late = Clock::now() >= deadline;
        if (report && (done || late || Clock::now() >= nextLine)) {
            progressLine(report, start, now, files, "");
            nextLine += std::chrono::seconds(1);
        }
        if (done) return true;
        if (late) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

PostStageRow DownloadWatch::postStage() const {
    PostStageRow row;
    ReadConnection db(database);
    std::vector<std::string> values;
    const char* sql = "SELECT stage || ' ' || percent || ' ' || IFNULL(note, '') FROM postStage "
                      "ORDER BY pid LIMIT 1";
    if (!db.column(sql, values) || values.empty()) return row;
    int noteAt = 0;
    if (sscanf(values.front().c_str(), "%d %d %n", &row.stage, &row.percent, &noteAt) >= 2)
        row.note = values.front().substr(noteAt);
    return row;
}

PostStageRow DownloadWatch::waitForPostStageEnd(int timeoutSeconds, FILE* report) const {
    auto start = Clock::now();
    auto deadline = start + std::chrono::seconds(timeoutSeconds);
    auto nextLine = start;
    int shownStage = -1;
    for (;;) {
        PostStageRow row = postStage();
        tpost post;
        post.ppStage = row.stage;
        post.ppPercent = row.percent;
        snprintf(post.ppNote, sizeof post.ppNote, "%s", row.note.c_str());
        std::string words = postStageText(post);
        bool ended = row.stage == ppDone || row.stage == ppFailed;
        bool late = Clock::now() >= deadline;
        if (report && (ended || late || Clock::now() >= nextLine || row.stage != shownStage)) {
            DownloadCounts now = counts();
            progressLine(report, start, now, now.files, words);
            nextLine = Clock::now() + std::chrono::seconds(1);
            shownStage = row.stage;
        }
        if (ended || late) return row;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::vector<std::string> DownloadWatch::fetchedRecoveryVolumes() const {
    std::vector<std::string> names;
    ReadConnection db(database);
    db.column("SELECT fileName FROM file JOIN deco ON decoFID=fileFID WHERE parblocks>0 AND "
              "decoCheck=2 ORDER BY fileName",
              names);
    return names;
}

bool DownloadWatch::waitForSaved(int segments, int timeoutSeconds) const {
    auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (counts().saved < segments) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> DownloadWatch::unsavedIds() const {
    std::vector<std::string> ids;
    ReadConnection db(database);
    db.column("SELECT segmMsgid FROM segm WHERE segmState<>2", ids);
    for (std::string& id : ids)
        if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
            id = id.substr(1, id.size() - 2);
    return ids;
}

bool DownloadWatch::intact() const {
    std::vector<std::string> answer;
    ReadConnection db(database);
    return db.column("PRAGMA integrity_check", answer) && answer.size() == 1 &&
           answer.front() == "ok";
}
