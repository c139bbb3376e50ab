#include "CMiravel.h"

#include "CFetchmill.h"
#include "CScoutlet.h"
#include "fixedField.h"
#include "profile.h"
#include "stateFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Plug-ins in the order they are tried; missing ones are skipped.
const char* const ENGINE_LIBRARIES[] = {"kora.so", "lumo.so", "vesk.so",
                                        "tayo.so", "pirn.so", "dulo.so"};

// Plug-ins that serve any number of engines, each a section of cfg/engines.ini that
// names the plug-in by its protocol.
struct SharedPlugin {
    const char* protocol;
    const char* library;
};
const SharedPlugin SHARED_PLUGINS[] = {{"newznab", "tarn.so"}};
const char ENGINES_INI[] = "cfg/engines.ini";

const char HISTORY_FILE[] = "./tmp/history.txt";
constexpr size_t NZB_BASE_LIMIT = 139;
constexpr int NZB_NUMBERED_NAMES = 1000;

std::string workingFolder(const char* folder) {
    if (folder && *folder) return folder;
    return stateFolder("MIRAVEL_HOME", "miravel");
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

bool endsWith(const char* text, const char* suffix) {
    size_t length = strlen(text), suffixLength = strlen(suffix);
    return length >= suffixLength && strcmp(text + length - suffixLength, suffix) == 0;
}

// The NZB's name without the request counter the engine appended: up to the last "_",
// else up to the last ".", else all of it; no folder part.
std::string nzbBaseName(const char* file) {
    const char* slash = strrchr(file, '/');
    std::string base = slash ? slash + 1 : file;
    size_t cut = base.rfind('_');
    if (cut == std::string::npos) cut = base.rfind('.');
    if (cut != std::string::npos) base.resize(cut);
    if (base.size() > NZB_BASE_LIMIT) base.resize(NZB_BASE_LIMIT);
    return base;
}

} // namespace

CMiravel::CMiravel(const char* folder, MMiravelObserver* observerToTell) {
    initialize(folder);
    CFetchmill::wsastart();
    fetcher = std::make_unique<CFetchmill>(*this);
    database = std::make_unique<CMiravelDB>();
    database->updateAge();
    observer = observerToTell;
}

CMiravel::~CMiravel() {
    fetcher.reset();
    engines.clear();
    database.reset();
    CFetchmill::wsaclean();
}

void CMiravel::initialize(const char* folder) {
    const std::string home = workingFolder(folder);
    std::error_code ignored;
    std::filesystem::create_directories(home, ignored); // an installed tool's first start
    if (chdir(home.c_str()) != 0)
        printf("CMiravel:: cannot enter %s (%s), staying in the current folder \n", home.c_str(),
               strerror(errno));
    for (const char* sub : {"./tmp", "./cfg", "./nzb"})
        if (mkdir(sub, 0755) != 0 && errno != EEXIST)
            printf("CMiravel:: cannot create %s (%s) \n", sub, strerror(errno));
    clearFolder("./tmp", ".htm");
    clearFolder("./tmp", ".txt");
    clearFolder("./tmp", ".sql");
    for (const char* library : ENGINE_LIBRARIES)
        loadengine(library);
    loadIndexers();
}

// The window and the console pick an engine's rows by a part of the engine column, so
// one name inside another would show both engines' rows under one tab.
bool CMiravel::overlapsAnEngineName(const std::string& name) {
    for (const auto& engine : engines)
        if (strcasestr(engine->name(), name.c_str()) || strcasestr(name.c_str(), engine->name()))
            return true;
    return false;
}

void CMiravel::loadIndexers() {
    for (const std::string& section : profile::sections(ENGINES_INI)) {
        const std::string protocol = profile::getString(section.c_str(), "plugin", "", ENGINES_INI);
        if (protocol.empty()) continue;
        const SharedPlugin* plugin = nullptr;
        for (const SharedPlugin& known : SHARED_PLUGINS)
            if (strcasecmp(known.protocol, protocol.c_str()) == 0) plugin = &known;
        const char* problem = !plugin                                    ? "names an unknown plugin"
                              : section.size() >= sizeof(tengine{}.name) ? "has too long a name"
                              : overlapsAnEngineName(section) ? "has a name that is part of "
                                                                "another engine's or holds one"
                                                              : nullptr;
        if (problem) {
            printf("CMiravel:: engine [%.60s] in %s %s, left out \n", section.c_str(), ENGINES_INI,
                   problem);
            continue;
        }
        loadengine(plugin->library, section.c_str());
    }
}

CScoutlet* CMiravel::loadengine(const char* library, const char* section) {
    auto engine = std::make_unique<CScoutlet>(*this, library, section);
    if (engine->index() == 0) return nullptr;
    // Answers find their engine by host: an indexer on the host of another engine would
    // never get one. The fixed sites are left as they were.
    for (const auto& loaded : engines)
        if (section && strcasecmp(loaded->host(), engine->host()) == 0) {
            printf("CMiravel:: %s has the host of %s, left out \n", engine->name(), loaded->name());
            return nullptr;
        }
    engines.push_back(std::move(engine));
    return engines.back().get();
}

void CMiravel::httpRequest(const char* file, const char* host, const char* path, const char* post,
                           const char* cookie) {
    fetcher->httpRequest(file, host, path, post, cookie);
}

void CMiravel::sqlResponse(const char* sql) {
    database->insertData(sql);
    if (observer) observer->handleDataChanged();
}

void CMiravel::engineNotice(const char* text) {
    printf("%s \n", text);
    if (observer) observer->handleEngineNotice(text);
}

void CMiravel::nzbResponse(const char* file) {
    const std::string stored = storeNzb(file);
    if (observer) observer->handleOpenResponse(stored.c_str());
}

std::string CMiravel::storeNzb(const char* file) {
    const std::string base = nzbBaseName(file);
    std::string target = "./nzb/" + base + ".nzb";
    char numbered[NZB_BASE_LIMIT + 32];
    for (int number = 0; exists(target) && number < NZB_NUMBERED_NAMES; ++number) {
        snprintf(numbered, sizeof numbered, "./nzb/%s_%03d.nzb", base.c_str(), number);
        target = numbered;
    }
    // An NZB stored earlier is never replaced, and the window is only ever told a path
    // where this NZB really lies.
    if (exists(target)) {
        printf("CMiravel:: no free name for %s in ./nzb, it stays in ./tmp \n", file);
        return file;
    }
    if (rename(file, target.c_str()) != 0) {
        printf("CMiravel:: cannot move %s to %s (%s) \n", file, target.c_str(), strerror(errno));
        return file;
    }
    return target;
}

void CMiravel::httpResponse(const char* file, const char* host, int, const char* charset) {
    if (!file) return;
    if (host && *host)
        for (const auto& engine : engines)
            if (strcasecmp(engine->host(), host) == 0) {
                engine->parse(file, charset);
                return;
            }
    struct stat info {};
    if (strcasecmp(file, HISTORY_FILE) == 0 && observer && stat(file, &info) == 0 &&
        info.st_size > 0)
        observer->handleUpdateAvailable(file);
}

void CMiravel::search(const char* engine, const char* keyword, const char* group) {
    if (!engine || (!keyword && !group)) return;
    CScoutlet* scoutlet = getengine(engine);
    if (!scoutlet) return;
    tsearch request;
    request.page = 1;
    request.keyword = keyword ? keyword : "";
    request.group = group ? group : "";
    scoutlet->search(request);
}

void CMiravel::download(const char* engine, const char* name, const char* altname, char* ids,
                        char sep) {
    CScoutlet* scoutlet = engine ? getengine(engine) : nullptr;
    if (!scoutlet) return;
    tsearch request;
    request.page = 1;
    request.keyword = name && *name ? name : altname && *altname ? altname : "nzbresult";
    if (scoutlet->downloadsByLink())
        downloadByLink(*scoutlet, request, ids, sep);
    else
        scoutlet->downld(request, ids, sep);
}

void CMiravel::downloadByLink(CScoutlet& engine, tsearch& request, char* ids, char sep) {
    for (char* id = ids; id && *id;) {
        char* next = sep ? strchr(id, sep) : nullptr;
        if (next) *next = 0;
        request.link = database->resultFileName(engine.name(), id);
        if (request.link.empty()) {
            const std::string notice = std::string(engine.name()) +
                                       ": no NZB address stored for result " +
                                       std::string(id).substr(0, 80) + " (search again)";
            engineNotice(notice.c_str());
        } else
            engine.fetchLink(request);
        id = next ? next + 1 : nullptr;
    }
}

int CMiravel::selectData(tRecordData& page) {
    return database->selectData(page);
}

int CMiravel::updateAge(bool notify) {
    int rewritten = database->updateAge();
    if (rewritten && notify && observer) observer->handleDataChanged();
    return rewritten;
}

void CMiravel::resetDatabase() {
    database->resetDB();
    if (observer) observer->handleDataChanged();
}

int CMiravel::numResults(const char* engine, const char* subject) {
    char filters[2][64];
    copyField(filters[0], engine);
    copyField(filters[1], subject);
    const char* const columns[] = {"engine", "subject", nullptr};
    return database->selectCount("results", columns, filters[0], sizeof filters[0]);
}

void CMiravel::clearFolder(const char* folder, const char* suffix) {
    if (!folder || !suffix) return;
    DIR* dir = opendir(folder);
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        if (!endsWith(entry->d_name, suffix)) continue;
        const std::string path = std::string(folder) + "/" + entry->d_name;
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
    }
    closedir(dir);
}

const char* CMiravel::enginename(int index) {
    if (index < 0 || index >= (int)engines.size()) return nullptr;
    return engines[index]->name();
}

CScoutlet* CMiravel::getengine(const char* name) {
    if (!name) return nullptr;
    for (const auto& engine : engines)
        if (strcasecmp(engine->name(), name) == 0) return engine.get();
    return nullptr;
}
