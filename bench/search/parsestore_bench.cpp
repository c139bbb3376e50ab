// Parse and store: a binsearch result page of 500 rows through the real plug-in (loaded by
// the engine host) and into the results database, as a response takes it on the fetcher's
// thread. Reports the median per page and rows per second; parsing alone beside it.
#include "BenchSupport.h"
#include "CMiravelDB.h"
#include "CScoutlet.h"
#include "MScoutletObserver.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int ROWS = 500;
constexpr int RUNS = 15;

// Hands the engine's script to the database, or drops it when only parsing is measured.
class Store : public MScoutletObserver {
  public:
    explicit Store(CMiravelDB* database) : db(database) {}
    void httpRequest(const char*, const char*, const char*, const char*, const char*) override {}
    void sqlResponse(const char* sql) override {
        if (db) db->insertData(sql);
    }
    void nzbResponse(const char*) override {}

  private:
    CMiravelDB* db;
};

// The fixture page with its result rows repeated to `ROWS`, each with its own id, so
// every page of the run stores new rows.
std::string makePage(int firstId) {
    std::ifstream in(CORV_SOURCE_DIR "/tests/fixtures/web/binsearch/search.htm");
    std::vector<std::string> head, rows, tail;
    const std::regex numericRow("name=\"[0-9]+\"");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("<tr bgcolor=\"#FFFFFF\"><td><input", 0) == 0 ||
            line.rfind("<tr bgcolor=\"#EEEEEE\"><td><input", 0) == 0) {
            if (std::regex_search(line, numericRow)) rows.push_back(line);
        } else {
            (rows.empty() ? head : tail).push_back(line);
        }
    }
    std::ostringstream page;
    for (const std::string& line : head)
        page << line << "\n";
    for (int i = 0; i < ROWS && !rows.empty(); ++i)
        page << std::regex_replace(rows[i % rows.size()], numericRow,
                                   "name=\"" + std::to_string(firstId + i) + "\"")
             << "\n";
    for (const std::string& line : tail)
        page << line << "\n";
    return page.str();
}

double measure(CMiravelDB* db) {
    Store store(db);
    CScoutlet engine(store, "lumo.so");
    if (!engine.index()) {
        fprintf(stderr, "lumo.so did not load\n");
        return 0;
    }
    std::vector<std::string> pages;
    for (int run = 0; run <= RUNS; ++run)
        pages.push_back(makePage(100000000 + run * ROWS));
    int next = 0;
    engine.parse(pages[next].data(), (int)pages[next].size()); // first use of the plug-in
    return bench::medianMs(RUNS, [&] {
        ++next;
        engine.parse(pages[next].data(), (int)pages[next].size());
    });
}

} // namespace

int main() {
    bench::WorkFolder folder;
    double parseOnly = measure(nullptr);
    CMiravelDB db;
    double parseAndStore = measure(&db);
    printf("%d-row page, parse only:      median %7.2f ms (%9.0f rows/s)\n", ROWS, parseOnly,
           ROWS / parseOnly * 1000);
    printf("%d-row page, parse and store: median %7.2f ms (%9.0f rows/s)\n", ROWS, parseAndStore,
           ROWS / parseAndStore * 1000);
    printf("peak memory %ld KiB\n", bench::peakRssKb());
    return 0;
}
