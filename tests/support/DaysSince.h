// Ages as the search engines store them: whole days from a posting time to now.
#pragma once
#include <ctime>

// Whole days from day.month.year hour:minute in the time zone `zoneHours` east of UTC to
// now; 0 for a time still to come.
inline int daysSince(int year, int month, int day, int hour, int minute, int zoneHours) {
    struct tm when {};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour - zoneHours;
    when.tm_min = minute;
    const time_t posted = timegm(&when);
    const time_t now = time(nullptr);
    return posted > now ? 0 : (int)((now - posted) / 86400);
}
