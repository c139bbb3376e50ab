#include "EngineRig.h"

#include "articleDB.h"
#include "articleSchema.h"
#include "nzbImport.h"
#include "profile.h"

#include <filesystem>

namespace fs = std::filesystem;

void EngineRig::DecoderEvents::handleEvent(unsigned evt, void* p1, void*) {
    auto* file = static_cast<tfile*>(p1);
    if ((evt == evtDecodeAdd || evt == evtDecodeLoad) && file)
        decoder.adddecode(file->fileFID, file, evt == evtDecodeAdd);
    else if (evt == evtDecodeClear)
        decoder.clrdecode();
}

EngineRig::EngineRig(tworkerTimes times, std::chrono::milliseconds decoderIdle)
    : decoder(&db, decoderIdle), model(decoder), times(times), queue(&model, &db) {
    for (const char* folder : {"data", "temp", "download"})
        fs::create_directories(folder);
    decoder.setfolders("./temp", "./download");
    queue.settemp("./temp");
    std::error_code ignored;
    fs::create_symlink(CORV_BIN_DIR "/yydecode", "yydecode", ignored);
    createSchemaFile();
    openArticleDB(db);
}

EngineRig::~EngineRig() {
    stopWorkers();
    decoder.stop();
    decoder.wait();
}

bool EngineRig::importNzb(const std::string& nzb) {
    if (!::importNzb(db, nzb.c_str(), "./temp/import.sql")) return false;
    queue.load(1);
    return true;
}

int EngineRig::addServer(int port, int hostid, int connections, const std::string& user,
                         const std::string& password) {
    std::string section = EngineRig::section(hostid);
    profile::writeString(section.c_str(), "hostname", "127.0.0.1", CONFIG_INI);
    profile::writeInt(section.c_str(), "hostport", port, CONFIG_INI);
    profile::writeInt(section.c_str(), "hostid", hostid, CONFIG_INI);
    profile::writeString(section.c_str(), "username", user.c_str(), CONFIG_INI);
    profile::writeString(section.c_str(), "password", password.c_str(), CONFIG_INI);
    int first = (int)workers.size();
    for (int i = 0; i < connections; ++i) {
        workers.push_back(std::make_unique<Corvane>((int)workers.size(), &queue, times));
        workers.back()->rdconfig(section.c_str());
    }
    return first;
}

void EngineRig::startWorkers(int hostid) {
    for (auto& worker : workers)
        if (hostid < 0 || worker->hostid() == hostid) worker->start();
}

void EngineRig::stopWorkers(int hostid) {
    for (auto& worker : workers)
        if (hostid < 0 || worker->hostid() == hostid) worker->stop();
    for (auto& worker : workers)
        if (hostid < 0 || worker->hostid() == hostid) worker->wait();
}

std::vector<tfile*> EngineRig::files() {
    std::vector<tfile*> found;
    std::vector<int> posts;
    queue.qposts(&posts);
    for (int pid : posts) {
        std::vector<int> ids;
        queue.qfiles(&ids, pid);
        for (int fid : ids)
            if (tfile* file = queue.qfile(fid)) found.push_back(file);
    }
    return found;
}

int EngineRig::filesIn(int state) {
    int count = 0;
    for (tfile* file : files())
        if (file->fileState == state) ++count;
    return count;
}
