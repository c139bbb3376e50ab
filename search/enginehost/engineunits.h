// Reading the unit texts that the index sites show (sizes, ages, dates, part counts)
// into the numbers of a result row. Unreadable text gives 0.
#pragma once
#include <ctime>

// Megabytes from "<whole>[.<fraction>] <unit>": K counts as 0, M as megabytes, T as
// terabytes and any other unit letter as gigabytes.
int parseSize(const char* text);
// Days from "<n><unit>" (or "<n> <unit>" with `blankBeforeUnit`); the unit `hourUnit`
// means less than a day and gives 0.
int parseAge(const char* text, bool blankBeforeUnit, char hourUnit);
// Days from a day-month date such as "12-mar" to `now`; a date later in the year than
// `now` belongs to the previous year.
int parseDate(const char* text, time_t now);
// Percent of `available` parts out of `total`.
int parseCompleteness(const char* total, const char* available);
// The whole number at the start of `text`, e.g. "95%".
int parsePercent(const char* text);
