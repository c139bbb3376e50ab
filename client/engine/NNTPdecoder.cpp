#include "NNTPdecoder.h"

#include "articleSchema.h"
#include "cDirectWriter.h"
#include "childProcess.h"
#include "fileHelpers.h"
#include "profile.h"
#include "programFolder.h"
#include "sqliteDB.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <glob.h>
#include <vector>

namespace {

void* asData(int value) {
    return (void*)(intptr_t)value;
}

// yydecode is looked for in the working folder (the program folder, or CORVANE_HOME),
// then in the installed library folder and beside the running executable, then on PATH.
std::string yydecodePath() {
    std::vector<std::string> folders = programFolders();
    folders.insert(folders.begin(), ".");
    return locateProgram("yydecode", folders);
}

// yydecode expands the pattern itself: "*", "?" or "[" in the folder part would match
// other folders (whose segment files would then be joined in) or none at all.
std::string wildcardLiteral(const std::string& text) {
    std::string literal;
    for (char c : text) {
        if (c == '*' || c == '?' || c == '[' || c == '\\') literal += '\\';
        literal += c;
    }
    return literal;
}

// ": " and the last line yydecode printed (what went wrong), or nothing.
std::string lastLine(const std::string& output) {
    size_t end = output.find_last_not_of("\r\n");
    if (end == std::string::npos) return "";
    size_t start = output.find_last_of('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return ": " + output.substr(start, end + 1 - start);
}

// The names yydecode wrote, from its lines `"name" <bytes> bytes, ...`.
std::vector<std::string> writtenNames(const std::string& output) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        const size_t bytes = line.find(" bytes, ");
        if (line.empty() || line[0] != '"' || bytes == std::string::npos) continue;
        const size_t quote = line.rfind("\" ", bytes);
        if (quote == std::string::npos || quote == 0 ||
            line.find_first_not_of("0123456789", quote + 2) != bytes)
            continue;
        names.push_back(line.substr(1, quote - 1));
    }
    return names;
}

bool anyMatch(const std::string& pattern) {
    glob_t found{};
    bool any = glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

} // namespace

NNTPdecoder::NNTPdecoder(sqliteDB* db, std::chrono::milliseconds idleWait)
    : db(db), idleWait(idleWait),
      tempfolder(profile::getString("DEFAULT", "tempfolder", "./temp", CONFIG_INI)),
      downloadto(profile::getString("DEFAULT", "downloadto", "./temp", CONFIG_INI)) {}

NNTPdecoder::~NNTPdecoder() {
    stop();
    wait();
}

void NNTPdecoder::setfolders(const char* temp, const char* download) {
    std::lock_guard<std::mutex> guard(listLock);
    if (temp) tempfolder = temp;
    if (download) downloadto = download;
}

int NNTPdecoder::start() {
    std::lock_guard<std::mutex> guard(lifeLock);
    if (ended) return 0; // a late command or clear after termination
    return cThread::start();
}

void NNTPdecoder::stop() {
    cThread::stop();
    pause.wake();
}

void NNTPdecoder::terminate() {
    {
        std::lock_guard<std::mutex> guard(lifeLock);
        ended = true;
    }
    stop();
    wait();
}

void NNTPdecoder::adddecode(int fid, tfile* file, int notify) {
    printf("add decoder %d ... \n", fid);
    if (!file) return;
    if (file->fileState == fsWaitDecode) {
        {
            std::lock_guard<std::mutex> guard(listLock);
            list.emplace(fid, file);
        }
        // A waiting decoder starts on it now rather than at the end of its idle wait.
        listed = true;
        pause.wake();
    }
    if (notify) this->notify(updFileState, file);
}

void NNTPdecoder::clrdecode() {
    printf("clear decoder ... ");
    // No waiting for a decode in progress: it runs at idle priority, and the reload that
    // clears would hold up the workers until it ends.
    std::lock_guard<std::mutex> guard(listLock);
    list.clear();
    decoding = nullptr;
}

bool NNTPdecoder::takeFirst(int& fid, tfile& taken) {
    std::lock_guard<std::mutex> guard(listLock);
    if (list.empty()) return false;
    fid = list.begin()->first;
    decoding = list.begin()->second;
    list.erase(list.begin());
    taken.filePID = decoding->filePID;
    taken.fileFID = fid;
    memcpy(taken.fileName, decoding->fileName, sizeof taken.fileName);
    resetsAtStart = db ? db->resets() : 0;
    decoding->fileError[0] = '\0';
    setState(decoding, fsDecoding);
    return true;
}

void NNTPdecoder::setState(tfile* file, int state) {
    file->fileState = state;
    notify(updFileState, file);
}

bool NNTPdecoder::resetSince() const {
    return db && db->resets() != resetsAtStart;
}

void NNTPdecoder::markDecoded(int fid) {
    if (!db) return;
    char sql[160];
    std::lock_guard<sqliteDB> guard(*db);
    if (resetSince()) return;
    db->exec("BEGIN");
    snprintf(sql, sizeof sql,
             "DELETE FROM segm WHERE segmFID=%d AND segmFID IN (SELECT decoFID FROM deco "
             "WHERE decoCheck=0)",
             fid);
    db->exec(sql);
    snprintf(sql, sizeof sql, "UPDATE deco SET decoCheck=2 WHERE decoFID=%d AND decoCheck=0", fid);
    db->exec(sql);
    recordPlaced(fid);
    db->exec("COMMIT");
}

void NNTPdecoder::recordPlaced(int fid) {
    for (const std::string& path : placed) {
        char* sql = sqlite3_mprintf("INSERT OR IGNORE INTO decodedFile (fid, path) VALUES(%d, %Q)",
                                    fid, path.c_str());
        db->exec(sql);
        sqlite3_free(sql);
    }
}

void NNTPdecoder::markFailed(int fid) {
    if (!db) return;
    char sql[96];
    snprintf(sql, sizeof sql, "UPDATE deco SET decoCheck=3 WHERE decoFID=%d AND decoCheck=0", fid);
    std::lock_guard<sqliteDB> guard(*db);
    if (resetSince()) return;
    db->exec(sql);
    recordPlaced(fid); // a damaged file is still of use to a repair
}

void NNTPdecoder::finish(const tfile& taken, int rc) {
    const int fid = taken.fileFID;
    if (resetSince()) {
        // A file listed under the id now is the next import's, decoded on its own.
        printf("decode of %d ended after a database reset, not booked\n", fid);
        std::lock_guard<std::mutex> guard(listLock);
        decoding = nullptr;
        return;
    }
    if (rc == 0) {
        markDecoded(fid);
    } else {
        printf("err decoding... %d %s\n", fid, failure.c_str());
        markFailed(fid);
    }
    std::lock_guard<std::mutex> guard(listLock);
    tfile* file = decoding;
    decoding = nullptr;
    // After a clear the reload may have listed a new record for the file: it gets the
    // result, and is not decoded a second time.
    auto relisted = list.find(fid);
    if (relisted != list.end()) {
        if (!file) file = relisted->second;
        list.erase(relisted);
    }
    if (!file) return;
    if (rc != 0) snprintf(file->fileError, sizeof file->fileError, "%s", failure.c_str());
    setState(file, rc == 0 ? fsDecoded : fsDecodeFailed);
}

void NNTPdecoder::run() {
    cThread::run();
    busy = 1;
    notify(updDecoder, asData(1));
    while (keepRunning()) {
        int fid = 0;
        tfile taken;
        listed = false;
        if (!takeFirst(fid, taken)) {
            pause.wait(idleWait, [this] { return !keepRunning() || listed.load(); });
            continue;
        }
        const int rc = dcdecode(fid, taken);
        finish(taken, rc);
        if (booked && !resetSince()) booked(taken.filePID);
    }
    busy = 0;
    notify(updDecoder, asData(0));
    printf("decoder exit");
}

int NNTPdecoder::dcdecode(int fid, const tfile& taken) {
    std::string temp;
    std::string download;
    {
        std::lock_guard<std::mutex> guard(listLock);
        temp = tempfolder;
        download = downloadto;
    }
    placed.clear();
    cDirectWriter* writer = directWriter.load();
    std::string path;
    const int finished = writer ? writer->finish(taken, &path) : 1;
    if (!path.empty()) placed.push_back(path);
    if (finished < 0) {
        failure = "the written parts could not be finished";
        return -1;
    }
    char names[64];
    snprintf(names, sizeof names, "/%x.%x.*.segm", (unsigned)taken.filePID, (unsigned)fid);
    // A file written directly needs yydecode only for articles that could not be.
    if (finished == 0 && !anyMatch(wildcardLiteral(temp) + names)) return 0;
    return runYydecode(taken, temp, names, download);
}

int NNTPdecoder::runYydecode(const tfile& taken, const std::string& folder, const char* names,
                             const std::string& download) {
    // A folder beginning with '-' must not read as an option.
    std::string temp = !folder.empty() && folder[0] == '-' ? "./" + folder : folder;
    std::string pattern = temp + names;
    printf("decode: %s\n", pattern.c_str());

    std::string program = yydecodePath();
    std::string argument = wildcardLiteral(temp) + names;
    // Articles without a name of their own are named as the article database names the file.
    std::string name = taken.fileName;
    printf("exec: %s -e -c -l -b -n \"%s\" -D \"%s\" %s\n",
           program.empty() ? "yydecode" : program.c_str(), name.c_str(), download.c_str(),
           argument.c_str());
    fflush(stdout); // the program's own lines follow ours in the log
    tchildRun decoded =
        runChild({program, "-e", "-c", "-l", "-b", "-n", name, "-D", download, argument});
    if (decoded.error) {
        printf("CreateProcess failed.");
        failure = "yydecode could not be started";
        return -1;
    }
    fputs(decoded.output.c_str(), stdout);
    for (const std::string& written : writtenNames(decoded.output))
        placed.push_back(download + "/" + written);
    if (decoded.exitCode != 0) {
        // CRC damage, nothing found, a full disk: the segment files stay for a retry.
        printf("yydecode exit %d\n", decoded.exitCode);
        failure = "yydecode exit " + std::to_string(decoded.exitCode) + lastLine(decoded.output);
        return decoded.exitCode;
    }
    // After a reset these names may be the next import's segment files.
    std::unique_lock<sqliteDB> guard;
    if (db) guard = std::unique_lock<sqliteDB>(*db);
    if (!resetSince()) removeM(pattern.c_str());
    return 0;
}
