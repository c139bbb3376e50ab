// The file name a decoded file gets in the output folder. The name comes from an
// article and is untrusted.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kFallbackName = "yydecode.out";

// Keeps what follows the last '/' or '\'; drops control characters (NUL included);
// cuts to 255 bytes; "", "." and ".." become `fallback` (itself a safe name). The
// result never leaves the folder it is opened in.
std::string safeOutputName(std::string_view name, const std::string& fallback = kFallbackName);

// The n-th other name for `name` when that is taken: "name.1.ext", "name.2.ext", ...
// (the number goes before the last extension; a name without one gets it at the end).
std::string numberedName(const std::string& name, int n);
