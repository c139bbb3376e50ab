// Log lines must not give away the user's indexer keys, which travel in request
// addresses.
#pragma once
#include <string>
#include <string_view>

// `text` with the value of every query parameter that carries a key ("apikey",
// "api_key", and "r" as in indexers' NZB links; any letter case) replaced by "***".
std::string maskApiKeys(std::string_view text);
