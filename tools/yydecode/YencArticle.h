// Finds the yEnc part in a saved article: the "=ybegin", "=ypart" and "=yend" lines
// and the encoded body between them. Anything before "=ybegin" (the article header)
// and after "=yend" (the end line ".") is ignored. LF-only line ends are accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct YencArticle {
    std::string name;        // as the article gives it: untrusted; empty when none
    std::uint64_t size = 0;  // of the whole file
    int part = 0;            // 0 when the article is a single-part post
    int total = 0;           // 0 when not given
    std::uint64_t begin = 1; // 1-based first byte of this part
    std::uint64_t end = 0;   // inclusive last byte
    std::optional<std::uint32_t> partCrc;
    std::optional<std::uint32_t> fileCrc;
    std::optional<std::uint64_t> partSize; // "=yend size="
    bool hasEnd = false;                   // an "=yend" line was found
    std::string_view body;                 // encoded lines
};

// The largest file size accepted from a header: a hostile size would otherwise make a
// huge sparse file.
inline constexpr std::uint64_t kMaxYencFileSize = std::uint64_t(1) << 40;

// Yields nothing when there is no "=ybegin" line at a line start, or when the header is
// unusable (bad or inconsistent numbers): `problem` then says why. A present
// result may come with a warning in `problem` (a CRC that cannot be read is ignored).
std::optional<YencArticle> findYencArticle(std::string_view data, std::string& problem);

// The value of "key=" in a keyword line, up to the next blank; empty when absent.
std::string_view keywordValue(std::string_view line, std::string_view key);
