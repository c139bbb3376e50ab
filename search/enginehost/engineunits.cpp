#include "engineunits.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
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
    // "<whole>[.<fraction>] <unit>", the fraction read as a decimal fraction: sites
    // show "1.50 GB" as often as "1.5 GB", and both are one and a half gigabytes.
    if (!text) return 0;
    char* end = nullptr;
    const long long whole = strtoll(text, &end, 10);
    if (end == text || whole < 0) return 0;
    long long thousandths = 0;
    if (*end == '.') {
        const char* digit = end + 1;
        if (!isdigit((unsigned char)*digit)) return 0;
        for (int scale = 100; isdigit((unsigned char)*digit); ++digit, scale /= 10)
            thousandths += (*digit - '0') * scale;
        end = const_cast<char*>(digit);
    }
    if (*end != ' ' || !isalpha((unsigned char)end[1])) return 0;
    const char unit = (char)toupper((unsigned char)end[1]);
    // Capped so that terabytes in megabytes still fit; anything that large clamps to
    // INT_MAX megabytes in every unit anyway.
    const long long kMaxWhole = LLONG_MAX / 1000000000;
    const long long value = (whole > kMaxWhole ? kMaxWhole : whole) * 1000 +
                            thousandths; // in thousandths of the unit
    switch (unit) {
    case 'K':
        return 0; // under a megabyte
    case 'M':
        return clampToInt(value / 1000);
    case 'T':
        return clampToInt(value * 1000);
    default:
        return clampToInt(value); // gigabytes
    }
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

    struct tm today {};
    localtime_r(&now, &today);
    auto postedYearsBack = [&](int years) {
        struct tm fields = today;
        fields.tm_year -= years;
        fields.tm_mon = month;
        fields.tm_mday = day;
        fields.tm_isdst = -1;
        return mktime(&fields);
    };
    time_t posted = postedYearsBack(0);
    // A page shows no year: a date still to come this year was posted last year.
    if (posted != (time_t)-1 && posted > now) posted = postedYearsBack(1);
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
