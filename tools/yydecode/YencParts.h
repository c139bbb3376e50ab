// What yydecode and the client's direct write share about yEnc parts: decoding one
// article's part, and judging a file from the parts present (its length, its CRC
// joined from the part CRCs, and the lines that report what is wrong).
#pragma once

#include "YencArticle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct YencPart {
    std::uint64_t begin = 0;
    std::uint64_t end = 0; // inclusive; begin - 1 for an empty part
    std::uint32_t crc = 0;
    bool hasCrc = false;
    bool crcBad = false;
};

// Decodes the article's body into `out` (grown as needed). The part covers the bytes
// decoded, at most the range its header gives. Lines about a short part or a CRC
// mismatch go to `notes`; `name` and `where` (the segment) only label them.
YencPart decodeYencPart(const YencArticle& article, const std::string& name,
                        const std::string& where, std::vector<unsigned char>& out,
                        std::vector<std::string>& notes);

struct YencFileSummary {
    std::uint64_t length = 0; // what the file is cut to: never past the last byte a part holds
    bool complete = false;
    const char* status = "no crc"; // "crc ok", "crc error"
    std::vector<std::string> notes;
};

// Sorts `parts` by offset. `size` is the declared size, `total` the declared number of
// parts (0 when not given).
YencFileSummary summarizeYencFile(const std::string& name, std::vector<YencPart>& parts,
                                  std::uint64_t size, int total,
                                  std::optional<std::uint32_t> fileCrc);

// The line that reports a written file: "\"name\" <bytes> bytes, <n> parts, <status>".
std::string yencFileLine(const std::string& name, const YencFileSummary& summary,
                         std::size_t parts);

// "1 part", "3 parts".
std::string partCount(std::size_t count);
