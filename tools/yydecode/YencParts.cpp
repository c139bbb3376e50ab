#include "YencParts.h"

#include "YencBodyDecoder.h"
#include "crc32Of.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <zlib.h>

namespace {

unsigned long long ull(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char line[1024];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(line, sizeof line, pattern, arguments);
    va_end(arguments);
    return line;
}

} // namespace

std::string partCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " part" : " parts");
}

YencPart decodeYencPart(const YencArticle& article, const std::string& name,
                        const std::string& where, std::vector<unsigned char>& out,
                        std::vector<std::string>& notes) {
    const std::string_view body = article.body;
    if (out.size() < body.size() + kDecodeSlack) out.resize(body.size() + kDecodeSlack);
    std::size_t decoded = decodeYencBody(reinterpret_cast<const unsigned char*>(body.data()),
                                         body.size(), out.data());
    const std::uint64_t expected = article.end + 1 - article.begin;
    const int number = article.part > 0 ? article.part : 1;
    if (decoded != expected || (article.partSize && *article.partSize != expected))
        notes.push_back(format("\"%s\" part %d: %llu bytes decoded, %llu expected (%s)",
                               name.c_str(), number, ull(decoded), ull(expected), where.c_str()));
    if (decoded > expected) decoded = static_cast<std::size_t>(expected);
    YencPart part;
    part.begin = article.begin;
    part.end = article.begin + decoded - 1;
    part.crc = crc32Of(out.data(), decoded);
    part.hasCrc = article.partCrc.has_value();
    part.crcBad = part.hasCrc && (*article.partCrc != part.crc || decoded != expected);
    if (part.hasCrc && *article.partCrc != part.crc)
        notes.push_back(format("\"%s\" part %d: crc error, pcrc32 %08x, decoded %08x (%s)",
                               name.c_str(), number, *article.partCrc, part.crc, where.c_str()));
    return part;
}

YencFileSummary summarizeYencFile(const std::string& name, std::vector<YencPart>& parts,
                                  std::uint64_t size, int total,
                                  std::optional<std::uint32_t> fileCrc) {
    std::sort(parts.begin(), parts.end(),
              [](const YencPart& a, const YencPart& b) { return a.begin < b.begin; });
    // Walk the parts in offset order: the whole file's CRC is the parts' CRCs combined,
    // as long as they join up without gap or overlap.
    std::uint64_t covered = 0; // bytes 1..covered are present
    std::uint64_t missing = 0;
    bool joined = true;
    bool bad = false;
    bool allCrcs = true;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (const YencPart& part : parts) {
        bad = bad || part.crcBad;
        allCrcs = allCrcs && part.hasCrc;
        std::uint64_t length = part.end + 1 - part.begin;
        if (part.begin != covered + 1) {
            joined = false;
            if (part.begin > covered + 1) missing += part.begin - covered - 1;
        }
        if (joined) crc = crc32_combine(crc, part.crc, static_cast<z_off_t>(length));
        covered = std::max(covered, part.end);
    }
    YencFileSummary summary;
    if (covered < size) missing += size - covered;
    summary.complete = joined && missing == 0;
    if (summary.complete && fileCrc && *fileCrc != crc) {
        summary.notes.push_back(format("\"%s\": crc error, crc32 %08x, decoded %08x", name.c_str(),
                                       *fileCrc, static_cast<std::uint32_t>(crc)));
        bad = true;
    }
    if (bad)
        summary.status = "crc error";
    else if ((summary.complete && fileCrc) || allCrcs)
        summary.status = "crc ok";
    if (missing > 0 || (total > 0 && static_cast<int>(parts.size()) < total)) {
        std::string count = total > 0 ? std::to_string(parts.size()) + " of " +
                                             std::to_string(total) + " parts"
                                       : partCount(parts.size());
        summary.notes.push_back(format("\"%s\": incomplete, %s, %llu bytes missing", name.c_str(),
                                       count.c_str(), ull(missing)));
    }
    // A header's size is only a claim: the file ends where the data present ends.
    summary.length = std::min(size, covered);
    if (summary.length < size)
        summary.notes.push_back(format("\"%s\": size %llu declared, parts end at %llu; cut there",
                                       name.c_str(), ull(size), ull(summary.length)));
    return summary;
}

std::string yencFileLine(const std::string& name, const YencFileSummary& summary,
                         std::size_t parts) {
    return format("\"%s\" %llu bytes, %s, %s%s", name.c_str(), ull(summary.length),
                  partCount(parts).c_str(), summary.status,
                  summary.complete ? "" : ", incomplete");
}
