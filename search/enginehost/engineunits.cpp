#include "engineunits.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

int clampToInt(long long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};

} // namespace

int parseSize(const char* text) {
    int whole = 0, hundredths = 0;
    char unit = 0;
    if (!text || sscanf(text, "%d.%d %c", &whole, &hundredths, &unit) != 3) return 0;
    // The digits after the point count as hundredths, so "1.5" reads as 1.05.
    const long long value = (long long)whole * 1000 + (long long)hundredths * 10;
    if (unit == 'K') return 0;
    if (unit == 'M') return clampToInt(value / 1000);
    return clampToInt(value);
}

int parseAge(const char* text, bool blankBeforeUnit, char hourUnit) {
    int number = 0;
    char unit = 0;
    if (!text || sscanf(text, blankBeforeUnit ? "%d %c" : "%d%c", &number, &unit) != 2) return 0;
    return unit == hourUnit ? 0 : number;
}

int parseDate(const char* text, time_t now) {
    int day = 0;
    if (!text || sscanf(text, "%d", &day) != 1) return 0;
    const char* dash = strchr(text, '-');
    if (!dash) return 0;
    int month = -1;
    for (int m = 0; m < 12; ++m)
        if (strcasecmp(dash + 1, kMonths[m]) == 0) month = m;
    if (month < 0) return 0;

    struct tm fields {};
    localtime_r(&now, &fields);
    if (fields.tm_mon < month) fields.tm_year -= 1;
    fields.tm_mon = month;
    fields.tm_mday = day;
    fields.tm_isdst = -1;
    const time_t posted = mktime(&fields);
    if (posted == (time_t)-1) return 0;
    return clampToInt(((long long)now - (long long)posted) / 86400);
}

int parseCompleteness(const char* total, const char* available) {
    int parts = 0, present = 0;
    if (!total || !available || sscanf(total, "%d", &parts) != 1 ||
        sscanf(available, "%d", &present) != 1)
        return 0;
    if (parts <= 0) return 0;
    return clampToInt((long long)present * 100 / parts);
}

int parsePercent(const char* text) {
    int percent = 0;
    if (!text || sscanf(text, "%d", &percent) != 1) return 0;
    return percent;
}
