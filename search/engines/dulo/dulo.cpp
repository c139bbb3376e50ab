// Engine plug-in for the yabsearch service: search and browse pages share one layout.
#include <cstdio>
#include <cstring>

#include "engineconfig.h"
#include "enginepage.h"
#include "engineunits.h"
#include "textmarkup.h"

namespace {

const char kService[] = "yabsearch";

// Ids of this service read "colid" followed by a number.
bool isCollectionId(const char* id) {
    int number = 0;
    return id && sscanf(id, "colid%d", &number) == 1;
}

bool parseRow(char* row, tresult& result) {
    char* cursor = strExtract(row, "name=\"", "\"", result.result_id, 0);
    if (!isCollectionId(result.result_id)) return false;
    cursor = strExtract(cursor, "<td>", "</td>", result.subject, 2);
    cursor = strExtract(cursor, "ndcollection\">", "<br", result.poster, 2);
    cursor = strExtract(cursor, "/>", "</td", result.newsgroup, 4);
    cursor = strExtract(cursor, "size\">", "</", result.sizetext, 0);
    // The completeness cell is kept in the part-count slot only while parsing.
    cursor = strExtract(cursor, "completeness\">", "</td", result.parts_total, 1);
    strExtract(cursor, "<td>", "</", result.agetext, 0);

    result.age = parseAge(result.agetext, true, 'u');
    result.size = parseSize(result.sizetext);
    result.pct = parsePercent(result.parts_total);
    result.parts_total = nullptr;
    return true;
}

} // namespace

int readconfig(tengine& engine) {
    engine.limit = 100;
    engine.index = 2;
    copyField(engine.code, "dulo");
    copyField(engine.name, kService);
    readHost(engine, "https://www.yabsearch.nl");
    copyField(engine.searchurl, "/search/$keyword$?co=y&results=200&sizemax=0&sizemin=1");
    copyField(engine.browseurl, "/browsegroup/$group$?co=y&results=200");
    copyField(engine.nzburl, "/createnzb");
    copyField(engine.nzbpost, "commit=NZB&");
    copyField(engine.nzbitem, "%s=1");
    return 0;
}

int parseresult(char* page, int, std::string& sql) {
    sql.clear();
    return parseRows(page, "<tr", parseRow, kService, sql);
}
