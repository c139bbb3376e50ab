// Engine plug-in for the nzbindex service: keyword search pages only.
#include <cstring>

#include "engineconfig.h"
#include "enginepage.h"
#include "engineunits.h"
#include "textmarkup.h"

namespace {

const char kService[] = "nzbindex";

bool parseSearchRow(char* row, tresult& result) {
    char* cursor = strExtract(row, "value=\"", "\"", result.result_id, 0);
    if (!startsWithNumber(result.result_id)) return false;
    cursor = strExtract(cursor, "_name\">", "</span>", result.subject, 2);
    cursor = strExtract(cursor, "(", " /", result.parts_avail, 0);
    cursor = strExtract(cursor, " ", " part", result.parts_total, 0);
    cursor = strExtract(cursor, "_poster\">", "</span>", result.poster, 2);
    cursor = strExtract(cursor, "nowrap>", "</", result.sizetext, 0);
    cursor = strExtract(cursor, "nowrap>", "</", result.newsgroup, 5);
    strExtract(cursor, "nowrap>", "</", result.agetext, 0);

    result.age = parseAge(result.agetext, true, 'h');
    result.size = parseSize(result.sizetext);
    result.pct = parseCompleteness(result.parts_total, result.parts_avail);
    return true;
}

} // namespace

int readconfig(tengine& engine) {
    engine.limit = 100;
    engine.index = 3;
    copyField(engine.code, "pirn");
    copyField(engine.name, kService);
    readHost(engine, "https://www.nzbindex.com");
    copyField(engine.searchurl,
              "/index.php?go=search&searchitem=$keyword$&results=250&sort=age_desc&min_size=1");
    copyField(engine.nzburl, "/index.php?go=nzb");
    copyField(engine.nzbpost, "go=nzb&searchitem=$keyword$&");
    copyField(engine.nzbitem, "release%d=%s");
    return 0;
}

int parseresult(char* page, int, std::string& sql) {
    sql.clear();
    // Anything without the search form (error pages, other requests) is not a result page.
    if (!page || !strstr(page, "<form name=\"search\" method=")) return 0;
    return parseRows(page, "<tr", parseSearchRow, kService, sql);
}
