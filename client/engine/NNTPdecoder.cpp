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
#include <glob.h>
#include <vector>

namespace {

void* asData(int value) {
    return (void*)(intptr_t)value;
}

// yydecode is looked for in the working folder (the program folder, or CORVANE_HOME),
// then beside the running executable, then on PATH.
std::string yydecodePath() {
    return locateProgram("yydecode", {".", programFolder()});
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
    return cThread::start();
}

void NNTPdecoder::stop() {
    cThread::stop();
    pause.wake();
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
    if (hasThread()) {
        stop();
        wait();
        {
            std::lock_guard<std::mutex> guard(listLock);
            list.clear();
        }
        start();
        return;
    }
    std::lock_guard<std::mutex> guard(listLock);
    list.clear();
}

bool NNTPdecoder::firstListed(int& fid, tfile*& file) {
    std::lock_guard<std::mutex> guard(listLock);
    if (list.empty()) return false;
    fid = list.begin()->first;
    file = list.begin()->second;
    return true;
}

void NNTPdecoder::unlist(int fid) {
    std::lock_guard<std::mutex> guard(listLock);
    list.erase(fid);
}

void NNTPdecoder::setState(tfile* file, int state) {
    file->fileState = state;
    notify(updFileState, file);
}

void NNTPdecoder::markDecoded(int fid) {
    if (!db) return;
    char sql[128];
    std::lock_guard<sqliteDB> guard(*db);
    db->exec("BEGIN");
    snprintf(sql, sizeof sql, "DELETE FROM segm WHERE segmFID=%d", fid);
    db->exec(sql);
    snprintf(sql, sizeof sql, "UPDATE deco SET decoCheck=2 WHERE decoFID=%d", fid);
    db->exec(sql);
    db->exec("COMMIT");
}

void NNTPdecoder::run() {
    cThread::run();
    busy = 1;
    notify(updDecoder, asData(1));
    while (keepRunning()) {
        int fid = 0;
        tfile* file = nullptr;
        listed = false;
        if (!firstListed(fid, file)) {
            pause.wait(idleWait, [this] { return !keepRunning() || listed.load(); });
            continue;
        }
        int rc = dcdecode(fid, file);
        unlist(fid);
        if (rc == 0) {
            markDecoded(fid);
            setState(file, fsDecoded);
        } else {
            printf("err decoding... ");
            setState(file, fsQueued);
        }
    }
    busy = 0;
    notify(updDecoder, asData(0));
    printf("decoder exit");
}

int NNTPdecoder::dcdecode(int fid, tfile* file) {
    setState(file, fsDecoding);
    std::string temp;
    std::string download;
    {
        std::lock_guard<std::mutex> guard(listLock);
        temp = tempfolder;
        download = downloadto;
    }
    cDirectWriter* writer = directWriter.load();
    const int finished = writer ? writer->finish(*file) : 1;
    if (finished < 0) return -1;
    char names[64];
    snprintf(names, sizeof names, "/%x.%x.*.segm", (unsigned)file->filePID, (unsigned)fid);
    // A file written directly needs yydecode only for articles that could not be.
    if (finished == 0 && !anyMatch(wildcardLiteral(temp) + names)) return 0;
    return runYydecode(fid, file, temp, download);
}

int NNTPdecoder::runYydecode(int fid, tfile* file, const std::string& folder,
                             const std::string& download) {
    // A folder beginning with '-' must not read as an option.
    std::string temp = !folder.empty() && folder[0] == '-' ? "./" + folder : folder;
    char names[64];
    snprintf(names, sizeof names, "/%x.%x.*.segm", (unsigned)file->filePID, (unsigned)fid);
    std::string pattern = temp + names;
    printf("decode: %s\n", pattern.c_str());

    std::string program = yydecodePath();
    std::string argument = wildcardLiteral(temp) + names;
    // Articles without a name of their own are named as the article database names the file.
    std::string name = file->fileName;
    printf("exec: %s -e -c -l -b -n \"%s\" -D \"%s\" %s\n",
           program.empty() ? "yydecode" : program.c_str(), name.c_str(), download.c_str(),
           argument.c_str());
    fflush(stdout); // the program's own lines follow ours in the log
    tchildRun decoded =
        runChild({program, "-e", "-c", "-l", "-b", "-n", name, "-D", download, argument});
    if (decoded.error) {
        printf("CreateProcess failed.");
        return -1;
    }
    fputs(decoded.output.c_str(), stdout);
    if (decoded.exitCode != 0) {
        // CRC damage, nothing found, a full disk: the segment files stay for a retry.
        printf("yydecode exit %d\n", decoded.exitCode);
        return decoded.exitCode;
    }
    removeM(pattern.c_str());
    return 0;
}
