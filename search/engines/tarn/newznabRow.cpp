#include "newznabRow.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "textmarkup.h"

namespace {

constexpr long long kMegabyte = 1024 * 1024;

// The id is what follows the last "/" of the guid, which indexers give either bare or
// as the item's details address.
void keepLastPathPart(std::string& guid) {
    while (!guid.empty() && (guid.back() == '/' || isspace((unsigned char)guid.back())))
        guid.pop_back();
    const size_t slash = guid.rfind('/');
    if (slash != std::string::npos) guid.erase(0, slash + 1);
    const size_t start = guid.find_first_not_of(" \t\r\n");
    guid.erase(0, start == std::string::npos ? guid.size() : start);
}

// Whole megabytes, to the nearest; 0 for an unreadable or negative number.
int megabytes(const std::string& bytes, long long fallback) {
    char* end = nullptr;
    long long value = bytes.empty() ? -1 : strtoll(bytes.c_str(), &end, 10);
    if (bytes.empty() || end == bytes.c_str()) value = fallback;
    if (value <= 0) return 0;
    const long long mb = value / kMegabyte + (value % kMegabyte >= kMegabyte / 2 ? 1 : 0);
    return mb > INT_MAX ? INT_MAX : (int)mb;
}

int zoneOffset(const char* zone) {
    if ((*zone == '+' || *zone == '-') && isdigit((unsigned char)zone[1])) {
        int digits = 0; // "hhmm"; more digits are no zone
        for (const char* at = zone + 1; isdigit((unsigned char)*at) && at < zone + 5; ++at)
            digits = digits * 10 + (*at - '0');
        const int seconds = (digits / 100) * 3600 + (digits % 100) * 60;
        return *zone == '-' ? -seconds : seconds;
    }
    return 0; // GMT, UT, Z and the rest are taken as UTC
}

char* text(std::string& field) {
    return field.empty() ? nullptr : field.data();
}

} // namespace

time_t parseRfc822Date(const char* date) {
    static const char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (!date) return -1;
    const char* comma = strchr(date, ',');
    const char* at = comma ? comma + 1 : date;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
    char month[4] = {};
    if (sscanf(at, " %d %3s %d %d:%d%n", &day, month, &year, &hour, &minute, &used) != 5) return -1;
    at += used;
    if (*at == ':' && sscanf(at, ":%d%n", &second, &used) == 1) at += used;
    const char* found = strlen(month) == 3 ? strcasestr(kMonths, month) : nullptr;
    if (!found || (found - kMonths) % 3 || day < 1 || day > 31 || year < 1970 || year > 9999 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return -1;
    struct tm when {};
    when.tm_mday = day;
    when.tm_mon = (int)(found - kMonths) / 3;
    when.tm_year = year - 1900;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    while (*at == ' ')
        ++at;
    return timegm(&when) - zoneOffset(at);
}

bool itemToRow(NewznabItem& item, time_t now, tresult& row) {
    keepLastPathPart(item.guid);
    if (item.guid.empty()) return false;
    row.result_id = item.guid.data();
    row.subject = text(item.title);
    row.filename = text(item.enclosureUrl); // where the NZB is fetched from
    row.poster = text(item.poster);
    if (!item.group.empty()) {
        replacetext(item.group.data(), "alt.binaries.", "a.b.");
        item.group.resize(strlen(item.group.c_str()));
    }
    row.newsgroup = text(item.group);
    row.category = text(item.category) ? text(item.category) : text(item.attrCategory);
    // The API has no part counts: both halves stay empty rather than a made-up "1".
    static char none[] = "";
    row.parts_avail = none;
    row.parts_total = none;
    row.size = megabytes(item.size, item.enclosureLength);
    time_t posted = parseRfc822Date(item.usenetdate.empty() ? nullptr : item.usenetdate.c_str());
    if (posted < 0) posted = parseRfc822Date(item.pubDate.c_str());
    row.age = posted < 0 || posted > now ? 0 : (int32_t)((now - posted) / 86400);
    return true;
}
