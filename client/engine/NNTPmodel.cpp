#include "NNTPmodel.h"

#include "articleDB.h"
#include "articleSchema.h"
#include "msgbox.h"
#include "nzbImport.h"
#include "profile.h"
#include "splitList.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void* asData(int value) {
    return (void*)(intptr_t)value;
}

// Bytes available to the user in the file system holding `folder`; -1 when unknown.
long long availableBytes(const std::string& folder) {
    struct statvfs info;
    if (statvfs(folder.c_str(), &info) != 0) return -1;
    return (long long)info.f_bavail * (long long)info.f_frsize;
}

int asInt(void* data) {
    return (int)(intptr_t)data;
}

std::string defaultKey(const char* key, const char* def) {
    return profile::getString("DEFAULT", key, def, CONFIG_INI);
}

// The server section names of DEFAULT/servers, each ended by ";".
std::vector<std::string> serverSections() {
    std::string list = defaultKey("servers", "");
    if (list.size() > 1023) list.resize(1023);
    return splitList(list, ';');
}

// The hostids of the servers that have connections: a segment all of them failed on is
// missing for good.
std::vector<int> serverHostIds() {
    std::vector<int> ids;
    for (const std::string& section : serverSections())
        if (profile::getInt(section.c_str(), "maxconnection", 0, CONFIG_INI) > 0)
            ids.push_back(profile::getInt(section.c_str(), "hostid", 0, CONFIG_INI));
    return ids;
}

} // namespace

NNTPmodel::NNTPmodel(tworkerTimes times)
    : queue(this, &db), decoder(&db), postProcessor(&queue, &db, makePostTools()), times(times) {
    decoder.setfolders(defaultKey("tempfolder", "./temp").c_str(),
                       defaultKey("downloadto", "./temp").c_str());
    decoder.setBookedHook([this](int pid) { postProcessor.fileBooked(pid); });
    queue.setdownload(defaultKey("downloadto", "./temp"));
    directWriter.setfolders(defaultKey("tempfolder", "./temp"), defaultKey("downloadto", "./temp"));
}

NNTPmodel::~NNTPmodel() {
    // Waits for a terminate running on another thread, or terminates now.
    terminate();
    queue.waitReset(); // a reset thread reaches the decoder, which goes first
}

std::string NNTPmodel::existingFolderOr(const char* key) {
    std::string folder = defaultKey(key, "./temp");
    std::error_code error;
    return fs::is_directory(folder, error) ? folder : "./temp";
}

int NNTPmodel::initialize(int controlSocket) {
    listener = controlSocket;
    initialized = true;
    queue.setHosts(serverHostIds());
    if (openArticleDB(db) == SQLITE_OK) {
        queue.load(1);
        setQueueRunning(profile::getInt("DEFAULT", "queue", 1, CONFIG_INI) ? 1 : 0);
        queue.handleCommandT(cmdQueuePrio,
                             asData(profile::getInt("DEFAULT", "queueprio", 0, CONFIG_INI) ? 1 : 0),
                             nullptr);
    }
    // The segment folder is set before any worker can save a segment.
    queue.settemp(existingFolderOr("tempfolder").c_str());
    // Direct write is the default; 0 keeps every article as a segment file for yydecode.
    if (profile::getInt("DEFAULT", "directwrite", 1, CONFIG_INI)) {
        queue.setDirectWriter(&directWriter);
        decoder.setDirectWriter(&directWriter);
    }
    loadservers();
    enableDecoder(profile::getInt("DEFAULT", "decoder", 1, CONFIG_INI));
    {
        std::lock_guard<std::mutex> guard(foldersLock);
        downloadFolder = defaultKey("downloadto", "./temp");
        tempFolder = defaultKey("tempfolder", "./temp");
    }
    {
        std::lock_guard<std::mutex> guard(monitorLock);
        monitorsRun = true;
    }
    speedMonitor = std::thread(totalM_static, this);
    diskMonitor = std::thread(lowdiskM_static, this);
    return 0;
}

int NNTPmodel::loadservers() {
    {
        std::lock_guard<std::recursive_mutex> guard(workersLock);
        int next = (int)workers.size();
        for (const std::string& section : serverSections()) {
            int active = profile::getInt(section.c_str(), "numactive", 0, CONFIG_INI);
            int count = profile::getInt(section.c_str(), "maxconnection", 0, CONFIG_INI);
            printf("client %d: %d %s \n", next, count, section.c_str());
            for (int i = 0; i < count; ++i) {
                if (next >= MAX_WORKERS) {
                    printf("client limit %d reached: %s gets %d of %d connections \n",
                           MAX_WORKERS, section.c_str(), i, count);
                    break;
                }
                auto worker = std::make_unique<Corvane>(next++, &queue, times);
                worker->rdconfig(section.c_str());
                if (i < active) worker->start();
                workers.push_back(std::move(worker));
            }
        }
    }
    notify(updServersLoaded, this);
    return 0;
}

int NNTPmodel::unloadservers() {
    notify(updServersUnloaded, this);
    std::lock_guard<std::recursive_mutex> guard(workersLock);

    // numactive per run of workers of the same host, written when the host changes; the
    // last run only when some of its workers run.
    std::string host;
    int running = 0;
    bool first = true;
    for (auto& worker : workers) {
        std::string name = worker->chost() ? worker->chost() : "";
        if (!first && name != host) {
            profile::writeInt(host.c_str(), "numactive", running, CONFIG_INI);
            running = 0;
        }
        first = false;
        host = name;
        if (worker->cstate() > csDisabled) ++running;
    }
    if (!first && running > 0) profile::writeInt(host.c_str(), "numactive", running, CONFIG_INI);

    printf("(en/dis)able client: %s \n", "all");
    for (auto& worker : workers) worker->stop();
    while (!workers.empty()) {
        workers.back()->wait();
        workers.pop_back();
    }
    return 0;
}

int NNTPmodel::configchanged() {
    unloadservers();
    std::string temp = existingFolderOr("tempfolder");
    std::string download = existingFolderOr("downloadto");
    decoder.setfolders(temp.c_str(), download.c_str());
    directWriter.setfolders(temp, download);
    queue.settemp(temp.c_str());
    queue.setdownload(download);
    queue.setHosts(serverHostIds());
    {
        std::lock_guard<std::mutex> guard(foldersLock);
        tempFolder = temp;
        downloadFolder = download;
    }
    loadservers();
    return 0;
}

NNTPmodel_iface* NNTPmodel::getclient(int index) {
    std::lock_guard<std::recursive_mutex> guard(workersLock);
    if (index < 0 || index >= (int)workers.size()) return nullptr;
    return workers[index].get();
}

void NNTPmodel::enableClients(unsigned p1) {
    bool start = (p1 >> 16) != 0;
    unsigned index = p1 & 0xFFFF;
    bool all = (p1 & 0xFF) == 0xFF;
    printf("(en/dis)able client: %s \n", all ? "all" : "idx");
    std::lock_guard<std::recursive_mutex> guard(workersLock);
    for (size_t i = 0; i < workers.size(); ++i) {
        if (!all && i != index) continue;
        if (start)
            workers[i]->start();
        else
            workers[i]->stop();
    }
}

void NNTPmodel::enableDecoder(int on) {
    if (on) {
        decoder.start();
        postProcessor.start();
    } else {
        decoder.stop();
        postProcessor.stop();
    }
}

void NNTPmodel::setQueueRunning(int on) {
    queue.handleCommandT(cmdQueueEnable, asData(on), nullptr);
}

void NNTPmodel::handleCommandT(unsigned cmd, void* p1, void*) {
    switch (cmd) {
    case cmdQueueEnable:
        setQueueRunning(asInt(p1) ? 1 : 0);
        break;
    case cmdClientEnable:
        enableClients((unsigned)(uintptr_t)p1);
        break;
    case cmdDecoderEnable:
        enableDecoder(asInt(p1));
        break;
    case cmdQueuePrio:
        queue.handleCommandT(cmdQueuePrio, asData(asInt(p1) ? 1 : 0), nullptr);
        break;
    case cmdResetDB:
        postProcessor.clear();
        queue.resetDB(0);
        break;
    case cmdConfigChanged:
        configchanged();
        break;
    case cmdReload:
        queue.load(asInt(p1));
        break;
    case cmdTerminate:
        terminate();
        break;
    default:
        break;
    }
}

void NNTPmodel::handleEvent(unsigned evt, void* p1, void*) {
    printf("evt: %d ", (int)evt);
    auto* file = static_cast<tfile*>(p1);
    if ((evt == evtDecodeAdd || evt == evtDecodeLoad) && file)
        decoder.adddecode(file->fileFID, file, evt == evtDecodeAdd);
    else if (evt == evtDecodeClear)
        decoder.clrdecode();
}

int NNTPmodel::addnzb(const char* nzb, std::string* failure) {
    // The script lies in the program's own temp folder whatever folder is configured.
    std::string name = nzb;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    std::error_code ignored;
    fs::create_directories("./temp", ignored);
    std::string script = "./temp/" + name + ".sql";

    tnzbImport times;
    bool imported = importNzb(db, nzb, script.c_str(), &times);
    printf("add nzb %d %d \n %.75s\n %.75s\n", times.postBase, times.fileBase, nzb,
           script.c_str());
    printf("delays quillmap=%ld load2db=%ld  >> %ld \n", times.convertMs, times.loadMs,
           times.convertMs + times.loadMs);
    if (failure) *failure = times.failure;
    return imported ? 0 : -1;
}

int NNTPmodel::execsql(const char*) {
    writeUpgradeScripts();
    if (msgbox::show("Database will be updated.\nThis can take a while, please be patient.",
                     "Update DB", msgbox::YESNO | msgbox::ICONQUESTION) != msgbox::IDYES)
        return -1;
    printf("execute SQL-update..");
    int wasRunning = queue.qenabled();
    setQueueRunning(0);
    db.load("./data/update.sql");
    queue.load(0);
    if (wasRunning) setQueueRunning(1);
    printf("update complete..");
    return 0;
}

int NNTPmodel::terminate() {
    std::lock_guard<std::mutex> guard(terminateLock);
    if (!initialized || terminated) return 0;
    terminated = true;
    int socket = listener.exchange(-1);

    {
        std::lock_guard<std::mutex> monitors(monitorLock);
        monitorsRun = false;
    }
    monitorWake.notify_all();
    if (speedMonitor.joinable()) speedMonitor.join();
    if (diskMonitor.joinable()) diskMonitor.join();

    profile::writeInt("DEFAULT", "queue", queue.qenabled(), CONFIG_INI);
    profile::writeInt("DEFAULT", "queueprio", queue.qprioOn(), CONFIG_INI);
    profile::writeInt("DEFAULT", "decoder", decoder.denabled(), CONFIG_INI);
    setQueueRunning(0);

    decoder.stop();
    postProcessor.stop();
    unloadservers();
    queue.waitReset(); // it would reopen the database and refill the decoder's list
    postProcessor.terminate();
    decoder.terminate();
    db.close();

    // Shutting the socket down wakes a thread blocked in accept on it; close alone does not.
    if (socket >= 0) {
        shutdown(socket, SHUT_RDWR);
        close(socket);
    }
    return 0;
}

void NNTPmodel::setFreeSpaceQuery(tfreeSpace query) {
    std::lock_guard<std::mutex> guard(freeSpaceLock);
    freeSpace = std::move(query);
}

void NNTPmodel::totalM_static(void* self) {
    static_cast<NNTPmodel*>(self)->totalM();
}

void NNTPmodel::lowdiskM_static(void* self) {
    static_cast<NNTPmodel*>(self)->lowdiskM();
}

bool NNTPmodel::tick() {
    std::unique_lock<std::mutex> guard(monitorLock);
    return !monitorWake.wait_for(guard, std::chrono::milliseconds(100),
                                 [this] { return !monitorsRun; });
}

void NNTPmodel::totalM() {
    for (int ticks = 1; tick(); ++ticks) {
        if (ticks % 50 != 0) continue;
        long long bytes = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(workersLock);
            for (auto& worker : workers) {
                const long long received = worker->client().bytecount();
                worker->client().resetcount();
                // Each connection's speed the way the total is measured, so the two agree.
                worker->measured((int)(received / 5000));
                bytes += received;
            }
        }
        int total = (int)(bytes / 5000);
        speed = total;
        // Through the queue's observers, where the window listens for the queue's state.
        queue.notify(updSpeed, asData(total));
    }
}

long long NNTPmodel::freeMiB(const std::string& folder) {
    tfreeSpace query;
    {
        std::lock_guard<std::mutex> guard(freeSpaceLock);
        query = freeSpace;
    }
    long long bytes = query ? query(folder) : availableBytes(folder);
    return bytes < 0 ? -1 : bytes >> 20;
}

void NNTPmodel::lowdiskM() {
    for (int ticks = 1; tick(); ++ticks) {
        if (ticks % 100 != 0) continue;
        std::string folders[2];
        {
            std::lock_guard<std::mutex> guard(foldersLock);
            folders[0] = downloadFolder;
            folders[1] = tempFolder;
        }
        for (const std::string& folder : folders) {
            long long mib = freeMiB(folder);
            if (mib >= 0 && mib < LOW_DISK_MIB) {
                printf("low disk space: %lld MiB free in %s, queue paused \n", mib,
                       folder.c_str());
                setQueueRunning(0);
            }
        }
    }
}
