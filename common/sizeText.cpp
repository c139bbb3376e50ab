#include "sizeText.h"

#include <cstdio>

std::string sizeText(long long bytes) {
    static const char* const UNITS[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    constexpr int LAST = sizeof UNITS / sizeof UNITS[0] - 1;
    if (bytes < 0) bytes = 0;
    double value = (double)bytes;
    int unit = 0;
    // A value that would round up to 1000 is shown in the next unit instead.
    while (unit < LAST && value >= 999.5) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    if (unit == 0 || value >= 99.95)
        snprintf(text, sizeof text, "%.0f %s", value, UNITS[unit]);
    else
        snprintf(text, sizeof text, "%.1f %s", value, UNITS[unit]);
    std::string shown = text;
    const size_t zero = shown.find(".0 ");
    if (zero != std::string::npos) shown.erase(zero, 2);
    return shown;
}
