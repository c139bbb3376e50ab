// Engine plug-in for the binsearch service: keyword search pages and newsgroup browse
// pages.
#include <cstring>
#include <ctime>

#include "engineconfig.h"
#include "enginepage.h"
#include "engineunits.h"
#include "textmarkup.h"

namespace {

const char kService[] = "binsearch";

// Browse pages show dates; ages are counted to the time of the first date read since
// the plug-in was loaded.
time_t dateClock = 0;

int parseBrowseDate(const char* text) {
    if (!dateClock) dateClock = time(nullptr);
    return parseDate(text, dateClock);
}

void convertUnits(tresult& row) {
    row.size = parseSize(row.sizetext);
    row.pct = parseCompleteness(row.parts_total, row.parts_avail);
}

// The tail of the subject cell: file name, size and part counts.
char* parseSubjectTail(char* cursor, tresult& row) {
    cursor = strExtract(cursor, "?b=", "&amp;", row.filename, 3);
    cursor = strExtract(cursor, "size: ", ",", row.sizetext, 0);
    cursor = strExtract(cursor, "available: ", " /", row.parts_avail, 2);
    return strExtract(cursor, " ", "<", row.parts_total, 0);
}

bool parseSearchRow(char* row, tresult& result) {
    char* cursor = strExtract(row, "name=\"", "\"", result.result_id, 0);
    if (!startsWithNumber(result.result_id)) return false;
    cursor = strExtract(cursor, "class=\"s\">", "<td", result.subject, 0);
    cursor = strExtract(cursor, "\">", "</a><td", result.poster, 2);
    cursor = strExtract(cursor, ">", "<td", result.newsgroup, 5);
    strExtract(cursor, ">", nullptr, result.agetext, 0);

    char* tail = strExtract(result.subject, nullptr, "</", result.subject, 2);
    if (tail) {
        tail = strExtract(tail, "span>", "<a href", result.extra, 0);
        parseSubjectTail(tail, result);
    } else {
        html2text(result.subject);
        striptags(result.subject);
    }
    result.age = parseAge(result.agetext, false, 'h');
    convertUnits(result);
    return true;
}

bool parseBrowseRow(char* row, tresult& result) {
    char* cursor = strExtract(row, " name=\"", "\" >", result.result_id, 0);
    if (!startsWithNumber(result.result_id)) return false;
    cursor = strExtract(cursor, "<td>", "<td", result.subject, 0);
    cursor = strExtract(cursor, ";g=", "&", result.newsgroup, 5);
    cursor = strExtract(cursor, "\">", "</a><td", result.poster, 2);
    strExtract(cursor, "br>", "</nobr", result.agetext, 0);

    char* tail = strExtract(result.subject, nullptr, "<span ", result.subject, 2);
    if (tail) {
        parseSubjectTail(tail, result);
    } else {
        html2text(result.subject);
        striptags(result.subject);
    }
    result.age = parseBrowseDate(result.agetext);
    convertUnits(result);
    return true;
}

} // namespace

int readconfig(tengine& engine) {
    engine.limit = 100;
    engine.index = 1;
    copyField(engine.code, "lumo");
    copyField(engine.name, kService);
    readHost(engine, "https://www.binsearch.info");
    copyField(engine.searchurl,
              "/index.php?q=$keyword$&adv_g=&max=500&adv_age=&adv_sort=date&adv_col=on");
    copyField(engine.browseurl, "/browse.php?bg=$group$&adv_col=1");
    copyField(engine.nzburl, "/index.php?q=$keyword$");
    copyField(engine.nzbpost, "r=&action=nzb&");
    copyField(engine.nzbitem, "%s=on");
    return 0;
}

int parseresult(char* page, int, std::string& sql) {
    sql.clear();
    if (page && strstr(page, "<title>Browse newsgroup "))
        return parseRows(page, "<tr ", parseBrowseRow, kService, sql);
    return parseRows(page, "<tr", parseSearchRow, kService, sql);
}
