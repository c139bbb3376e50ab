// The file name a decoded file gets in the output folder. The name comes from an
// article and is untrusted.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kFallbackName = "yydecode.out";

// Keeps what follows the last '/' or '\'; drops control characters (NUL included);
// cuts to 255 bytes; "", "." and ".." become kFallbackName. The result never leaves
// the folder it is opened in.
std::string safeOutputName(std::string_view name);
