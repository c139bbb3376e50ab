#include "ConsoleSearch.h"

#include "CMiravel.h"
#include "CScoutlet.h"
#include "fixedField.h"
#include "ResultTable.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void setFilter(tRecordData& page, const char* column, const std::string& text) {
    for (int i = 0; i < page.cols; ++i)
        if (strcmp(page.column[i].name, column) == 0)
            copyField(page.column[i].filter, text.c_str());
}

// Newsgroups are stored with "alt.binaries." shortened.
std::string shortGroup(std::string group) {
    const std::string longForm = "alt.binaries.";
    for (size_t at; (at = group.find(longForm)) != std::string::npos;)
        group.replace(at, longForm.size(), "a.b.");
    return group;
}

} // namespace

ConsoleSearch::ConsoleSearch(const LauncherOptions& launcherOptions, FILE* output)
    : options(launcherOptions), out(output), miravel(std::make_unique<CMiravel>(nullptr, this)) {}

ConsoleSearch::~ConsoleSearch() {
    miravel.reset();
}

void ConsoleSearch::handleDataChanged() {
    std::lock_guard<std::mutex> guard(lock);
    ++dataChanges;
    arrived.notify_all();
}

void ConsoleSearch::handleOpenResponse(const char* path) {
    std::lock_guard<std::mutex> guard(lock);
    openedPath = path ? path : "";
    arrived.notify_all();
}

void ConsoleSearch::handleUpdateAvailable(const char*) {}

void ConsoleSearch::handleEngineNotice(const char* text) {
    std::lock_guard<std::mutex> guard(lock);
    if (notice.empty()) notice = text ? text : "";
    arrived.notify_all();
}

bool ConsoleSearch::waitFor(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> guard(lock);
    const bool ended = arrived.wait_for(guard, std::chrono::seconds(options.waitSeconds),
                                        [&] { return done() || !notice.empty(); });
    if (!notice.empty() && !done()) {
        fprintf(stderr, "miravel: %s\n", notice.c_str());
        return false;
    }
    return ended;
}

bool ConsoleSearch::noticed() {
    std::lock_guard<std::mutex> guard(lock);
    return !notice.empty();
}

int ConsoleSearch::run() {
    if (options.listEngines) return listEngines();
    const char* wanted = options.engine.empty() ? miravel->enginename(0) : options.engine.c_str();
    CScoutlet* scoutlet = wanted ? miravel->getengine(wanted) : nullptr;
    if (!scoutlet) {
        fprintf(stderr, "miravel: no engine \"%s\" is loaded.\n", wanted ? wanted : "");
        listEngines();
        return 2;
    }
    const char* engine = scoutlet->name(); // the service name as the rows carry it
    return options.downloadIds.empty() ? searchAndShow(engine) : downloadNzb(engine);
}

int ConsoleSearch::listEngines() {
    fprintf(stderr, "engines:");
    for (int i = 0; miravel->enginename(i); ++i)
        fprintf(stderr, " %s", miravel->enginename(i));
    fprintf(stderr, "\n");
    return 0;
}

int ConsoleSearch::searchAndShow(const char* engine) {
    fprintf(stderr, "miravel: searching %s for \"%s\"...\n", engine,
            options.words.empty() ? options.group.c_str() : options.words.c_str());
    miravel->search(engine, options.words.c_str(), options.group.c_str());
    if (!waitFor([this] { return dataChanges > 0; })) {
        if (!noticed())
            fprintf(stderr,
                    "miravel: no results arrived from %s within %d s (the site found nothing, "
                    "did not answer, or sent a page the engine cannot read; see ./tmp)\n",
                    engine, options.waitSeconds);
        return 1;
    }
    auto page = std::make_unique<tRecordData>();
    copyField(page->table, "results");
    miravel->selectData(*page); // learns the columns
    setFilter(*page, "engine", engine);
    setFilter(*page, "subject", options.filterGiven ? options.filter : options.words);
    if (options.words.empty() && !options.filterGiven)
        setFilter(*page, "newsgroup", shortGroup(options.group));
    miravel->selectData(*page);
    printResultTable(*page, options.limit, out);
    return 0;
}

int ConsoleSearch::downloadNzb(const char* engine) {
    std::string ids = options.downloadIds;
    const std::string name = options.name.empty() ? options.words : options.name;
    fprintf(stderr, "miravel: asking %s for an NZB of %s...\n", engine, ids.c_str());
    miravel->download(engine, name.c_str(), "", ids.data(), ',');
    if (!waitFor([this] { return !openedPath.empty(); })) {
        if (!noticed())
            fprintf(stderr,
                    "miravel: no NZB arrived from %s within %d s (the site's answer was not an "
                    "NZB file; see ./tmp)\n",
                    engine, options.waitSeconds);
        return 1;
    }
    std::string path;
    {
        std::lock_guard<std::mutex> guard(lock);
        path = openedPath;
    }
    char folder[4096];
    if (path.rfind("./", 0) == 0) path.erase(0, 2);
    if (path[0] != '/' && getcwd(folder, sizeof folder)) path = std::string(folder) + "/" + path;
    fprintf(out, "%s\n", path.c_str());
    return 0;
}
