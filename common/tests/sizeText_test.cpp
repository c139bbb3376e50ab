#include "sizeText.h"

#include <gtest/gtest.h>

TEST(SizeText, UnitsInStepsOfAThousandWithOneDecimalBelowAHundred) {
    const struct {
        long long bytes;
        const char* text;
    } cases[] = {
        {-5, "0 B"},
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1 KB"},
        {1500, "1.5 KB"},
        {99949, "99.9 KB"},
        {99950, "100 KB"}, // rounds to the next figure, not to "100.0"
        {999499, "999 KB"},
        {999500, "1 MB"}, // never "1000 KB"
        {700000000, "700 MB"},
        {1500000000, "1.5 GB"},
        {2000000000, "2 GB"}, // no ".0"
        {12345678901LL, "12.3 GB"},
        {4000000000000LL, "4 TB"},
        {9000000000000000000LL, "9000 PB"}, // past the last unit the number grows
    };
    for (const auto& c : cases)
        EXPECT_EQ(sizeText(c.bytes), c.text) << c.bytes;
}
