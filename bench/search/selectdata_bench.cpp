// How long the window waits for one page of results: selectData with the engine filter
// of the selected engine tab, a subject word and the default sort (subject ascending),
// on results tables of 100,000 and 1,000,000 rows made directly in SQL.
#include "BenchSupport.h"
#include "CMiravelDB.h"
#include "ResultRows.h"

#include <cstring>
#include <memory>

namespace {

struct Query {
    const char* label;
    const char* engine;
    const char* subject;
};

void run(int count) {
    bench::WorkFolder folder;
    CMiravelDB db;
    {
        bench::QuietStdout quiet;
        db.insertData(bench::generateResultRows(count).c_str());
    }
    const Query queries[] = {
        {"engine + rare word (default sort)", "binsearch", "glacier.diary"},
        {"engine + common word (page fills)", "binsearch", "1080p"},
        {"engine + two words", "binsearch", "summer 1999"},
        {"no filter (page fills)", "", ""},
    };
    for (const Query& q : queries) {
        auto page = std::make_unique<tRecordData>();
        strcpy(page->table, "results");
        {
            bench::QuietStdout quiet;
            db.selectData(*page); // learns the columns, as the window's first read does
            strcpy(page->column[1].filter, q.engine);
            strcpy(page->column[3].filter, q.subject);
            db.selectData(*page); // warms the page cache, as the window's earlier reads have
        }
        double ms = bench::medianMs(15, [&] { db.selectData(*page); });
        printf("%9d rows | %-36s | %6d rows read | median %8.2f ms\n", count, q.label, page->rows,
               ms);
    }
}

} // namespace

int main(int argc, char** argv) {
    bool large = !(argc > 1 && strcmp(argv[1], "--small") == 0);
    run(100000);
    if (large) run(1000000);
    printf("peak memory %ld KiB\n", bench::peakRssKb());
    return 0;
}
