#include "engineunits.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

TEST(EngineUnits, ParseSize) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"1.50 GB", 1500},    {"1.5 GB", 1500}, {"1.05 GB", 1050},  {"4.375 GB", 4375},
        {"1.23456 GB", 1234}, {"512.00 KB", 0}, {"700.00 MB", 700}, {"2.00 TB", 2000000},
        {"1.5 kB", 0},        {"0.99 MB", 0},   {"12 GB", 12000},   {"12. GB", 0},
        {"-1.00 GB", 0},      {"1.00GB", 0},    {"GB", 0},          {"", 0},
        {nullptr, 0},         {"3.20 G", 3200}, {"9.99 MB", 9},     {"99999999.99 GB", 2147483647},
        // numbers too large for any unit clamp without overflowing on the way
        {"8430738502437568511.8 t", 2147483647}, {"9223372036854.999 TB", 2147483647},
        {"9223372036854 MB", 2147483647},
    };
    for (const auto& [text, megabytes] : cases)
        EXPECT_EQ(parseSize(text), megabytes) << (text ? text : "null");
}

TEST(EngineUnits, ParseAge) {
    struct Case {
        const char* text;
        bool blank;
        char hour;
        int days;
    };
    const std::vector<Case> cases = {
        {"5d", false, 'h', 5},     {"12h", false, 'h', 0},    {"3h", false, 'h', 0},
        {"800d", false, 'h', 800}, {"7", false, 'h', 0},      {"d", false, 'h', 0},
        {"3 days", true, 'h', 3},  {"5 hours", true, 'h', 0}, {"0 days", true, 'h', 0},
        {"7 u", true, 'u', 0},     {"7 d", true, 'u', 7},     {"12 uur", true, 'u', 0},
        {nullptr, true, 'h', 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseAge(c.text, c.blank, c.hour), c.days) << (c.text ? c.text : "null");
}

// Local noon of a day, so the day arithmetic does not depend on the hour of the run.
time_t noon(int year, int month, int day) {
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = 12;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

TEST(EngineUnits, ParseDateAcrossTheNewYear) {
    // Pin the zone: a daylight saving change between the dates would move the result
    // by the truncated hour.
    const char* previous = getenv("TZ");
    const std::string saved = previous ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();

    struct Case {
        const char* text;
        time_t now;
        int days;
    };
    const std::vector<Case> cases = {
        {"28-dec", noon(2027, 1, 5), 8},     {"20-mar", noon(2027, 3, 5), 350},
        {"28-dec", noon(2026, 12, 8), 345},  {"9-dec", noon(2026, 12, 8), 364},
        {"8-dec", noon(2026, 12, 8), 0},     {"29-feb", noon(2028, 2, 28), 364},
        {"5-jan", noon(2027, 1, 5), 0},      {"1-JAN", noon(2027, 1, 5), 4},
        {"31-Dec", noon(2026, 12, 31), 0},   {"15-nov", noon(2027, 1, 5), 51},
        {"12-mar ", noon(2027, 3, 20), 0},   {"12-march", noon(2027, 3, 20), 0},
        {"mar-12", noon(2027, 3, 20), 0},    {"12mar", noon(2027, 3, 20), 0},
        {"yesterday", noon(2027, 3, 20), 0}, {nullptr, noon(2027, 3, 20), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseDate(c.text, c.now), c.days) << (c.text ? c.text : "null");

    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(EngineUnits, ParseCompletenessAndPercent) {
    struct Case {
        const char* total;
        const char* available;
        int pct;
    };
    const std::vector<Case> cases = {
        {"25", "20", 80},  {"20", "18", 90},
        {"0", "5", 0},     {"-4", "2", 0},
        {"x", "1", 0},     {"3", "x", 0},
        {nullptr, "1", 0}, {"1", nullptr, 0},
        {"3", "1", 33},    {"1", "2147483647", 2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseCompleteness(c.total, c.available), c.pct)
            << (c.available ? c.available : "null") << "/" << (c.total ? c.total : "null");

    EXPECT_EQ(parsePercent("95%"), 95);
    EXPECT_EQ(parsePercent("100%"), 100);
    EXPECT_EQ(parsePercent("%"), 0);
    EXPECT_EQ(parsePercent(nullptr), 0);
}

} // namespace
