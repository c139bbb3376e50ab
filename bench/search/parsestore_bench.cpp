// Parse and store: a binsearch result page of 500 rows and a Newznab answer of 100 items
// through the real plug-ins (loaded by the engine host) and into the results database, as
// a response takes it on the fetcher's thread. Reports the median per page and rows per
// second; parsing alone beside it.
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
constexpr int NEWZNAB_ITEMS = 100;
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
    void engineNotice(const char* text) override { fprintf(stderr, "%s\n", text); }

  private:
    CMiravelDB* db;
};

// The fixture page with its result rows repeated to `Rows`, each with its own id, so
// every page of the run stores new rows.
template <int Rows> std::string makePage(int firstId) {
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
    for (int i = 0; i < Rows && !rows.empty(); ++i)
        page << std::regex_replace(rows[i % rows.size()], numericRow,
                                   "name=\"" + std::to_string(firstId + i) + "\"")
             << "\n";
    for (const std::string& line : tail)
        page << line << "\n";
    return page.str();
}

// The first item of the Newznab fixture answer (every attribute) repeated to
// `NEWZNAB_ITEMS`, each with its own guid.
std::string makeNewznabAnswer(int firstId) {
    std::ifstream in(CORV_SOURCE_DIR "/tests/fixtures/web/newznab/search.xml");
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    const size_t start = text.find("<item>"), end = text.find("</item>") + 7;
    if (start == std::string::npos || end < start) return "";
    const std::string item = text.substr(start, end - start);
    std::string answer = text.substr(0, start);
    for (int i = 0; i < NEWZNAB_ITEMS; ++i)
        answer +=
            std::regex_replace(item, std::regex("6f1c2a9b3d"), std::to_string(firstId + i)) + "\n";
    return answer + "</channel>\n</rss>\n";
}

double measure(CMiravelDB* db, const char* library, const char* section,
               std::string (*makeAnswer)(int), int rows) {
    Store store(db);
    CScoutlet engine(store, library, section);
    if (!engine.index()) {
        fprintf(stderr, "%s did not load\n", library);
        return 0;
    }
    std::vector<std::string> pages;
    for (int run = 0; run <= RUNS; ++run)
        pages.push_back(makeAnswer(100000000 + run * rows));
    int next = 0;
    engine.parse(pages[next].data(), (int)pages[next].size()); // first use of the plug-in
    return bench::medianMs(RUNS, [&] {
        ++next;
        engine.parse(pages[next].data(), (int)pages[next].size());
    });
}

void report(const char* what, int rows, double parseOnly, double parseAndStore) {
    printf("%-28s %3d rows, parse only:      median %7.2f ms (%9.0f rows/s)\n", what, rows,
           parseOnly, rows / parseOnly * 1000);
    printf("%-28s %3d rows, parse and store: median %7.2f ms (%9.0f rows/s)\n", what, rows,
           parseAndStore, rows / parseAndStore * 1000);
}

} // namespace

int main() {
    bench::WorkFolder folder;
    std::ofstream("cfg/engines.ini") << "[indexer]\nplugin=newznab\nhost=https://127.0.0.1:9\n"
                                        "apikey=0123456789abcdef0123456789abcdef\n";
    // A page of the Newznab answer's size too: each page is one transaction, whose
    // commit weighs more per row on a smaller page.
    const double htmlParse = measure(nullptr, "lumo.so", nullptr, makePage<ROWS>, ROWS);
    const double htmlSmallParse =
        measure(nullptr, "lumo.so", nullptr, makePage<NEWZNAB_ITEMS>, NEWZNAB_ITEMS);
    const double newznabParse =
        measure(nullptr, "tarn.so", "indexer", makeNewznabAnswer, NEWZNAB_ITEMS);
    CMiravelDB db;
    const double htmlStore = measure(&db, "lumo.so", nullptr, makePage<ROWS>, ROWS);
    const double htmlSmallStore =
        measure(&db, "lumo.so", nullptr, makePage<NEWZNAB_ITEMS>, NEWZNAB_ITEMS);
    const double newznabStore =
        measure(&db, "tarn.so", "indexer", makeNewznabAnswer, NEWZNAB_ITEMS);
    report("binsearch page (lumo.so)", ROWS, htmlParse, htmlStore);
    report("binsearch page (lumo.so)", NEWZNAB_ITEMS, htmlSmallParse, htmlSmallStore);
    report("Newznab answer (tarn.so)", NEWZNAB_ITEMS, newznabParse, newznabStore);
    printf("peak memory %ld KiB\n", bench::peakRssKb());
    return 0;
}
