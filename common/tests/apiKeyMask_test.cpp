#include "apiKeyMask.h"

#include <gtest/gtest.h>

TEST(ApiKeyMask, KeyParametersLoseTheirValuesWhereverTheyStand) {
    const std::pair<const char*, const char*> lines[] = {
        {"fetch: cannot connect to https://i:443/api?t=search&apikey=abc123&q=x: refused",
         "fetch: cannot connect to https://i:443/api?t=search&apikey=***&q=x: refused"},
        {"https://i/api?APIKEY=abc", "https://i/api?APIKEY=***"},
        {"'https://i/getnzb/1.nzb&i=4&r=abc' and https://j/x?api_key=def#top",
         "'https://i/getnzb/1.nzb&i=4&r=***' and https://j/x?api_key=***#top"},
        {"/api?t=search&apikey=&q=x", "/api?t=search&apikey=***&q=x"},
        // Names that merely end like a key, and keys outside a query, stay.
        {"/x?bar=1&user=2&apikeys=3 apikey=4", "/x?bar=1&user=2&apikeys=3 apikey=4"},
        {"no address at all?", "no address at all?"},
    };
    for (const auto& [line, masked] : lines)
        EXPECT_EQ(maskApiKeys(line), masked) << line;
}
