#include "YencArticle.h"

#include <charconv>
#include <cstring>

namespace {

// Start of the first line that begins with `keyword`, at or after `from`.
std::size_t findLineStart(std::string_view data, std::string_view keyword, std::size_t from) {
    while (from < data.size()) {
        std::size_t at = data.find(keyword, from);
        if (at == std::string_view::npos) return at;
        if (at == 0 || data[at - 1] == '\n') return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

// The line at `start` without its line end, and where the next line starts.
std::string_view lineAt(std::string_view data, std::size_t start, std::size_t& next) {
    std::size_t lf = data.find('\n', start);
    next = lf == std::string_view::npos ? data.size() : lf + 1;
    std::size_t stop = lf == std::string_view::npos ? data.size() : lf;
    if (stop > start && data[stop - 1] == '\r') --stop;
    return data.substr(start, stop - start);
}

template <typename T> bool parseNumber(std::string_view text, T& value, int base = 10) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// Some posters write the CRC with more than 8 hex digits: the low 32 bits count.
bool parseCrc(std::string_view line, std::string_view key, std::optional<std::uint32_t>& crc) {
    std::string_view text = keywordValue(line, key);
    if (text.empty()) return true;
    if (text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) return false;
    if (text.size() > 8) text.remove_prefix(text.size() - 8);
    std::uint32_t value = 0;
    if (!parseNumber(text, value, 16)) return false;
    crc = value;
    return true;
}

// The "=yend" line is near the end: look at the last few lines before searching the
// whole body.
std::size_t findEndLine(std::string_view data, std::size_t bodyStart) {
    std::size_t stop = data.size();
    for (int line = 0; line < 8 && stop > bodyStart; ++line) {
        std::size_t lf = stop >= 2 ? data.rfind('\n', stop - 2) : std::string_view::npos;
        std::size_t start = lf == std::string_view::npos || lf < bodyStart ? bodyStart : lf + 1;
        if (data.substr(start, 5) == "=yend") return start;
        if (start == bodyStart) return std::string_view::npos;
        stop = start;
    }
    return findLineStart(data, "=yend", bodyStart);
}

// Without "=yend" the body runs to the end, less the NNTP end line and blank lines.
std::size_t trimmedEnd(std::string_view data, std::size_t bodyStart) {
    std::size_t stop = data.size();
    for (int line = 0; line < 4 && stop > bodyStart; ++line) {
        std::size_t lf = stop >= 2 ? data.rfind('\n', stop - 2) : std::string_view::npos;
        std::size_t start = lf == std::string_view::npos || lf < bodyStart ? bodyStart : lf + 1;
        std::size_t next = 0;
        std::string_view text = lineAt(data, start, next);
        if (text != "." && !text.empty()) break;
        stop = start;
    }
    return stop;
}

} // namespace

std::string_view keywordValue(std::string_view line, std::string_view key) {
    std::size_t from = 0;
    while (from < line.size()) {
        std::size_t at = line.find(key, from);
        if (at == std::string_view::npos) return {};
        if (at > 0 && line[at - 1] == ' ' && at + key.size() < line.size() &&
            line[at + key.size()] == '=') {
            std::size_t valueStart = at + key.size() + 1;
            std::size_t valueEnd = line.find(' ', valueStart);
            if (valueEnd == std::string_view::npos) valueEnd = line.size();
            return line.substr(valueStart, valueEnd - valueStart);
        }
        from = at + 1;
    }
    return {};
}

std::optional<YencArticle> findYencArticle(std::string_view data, std::string& problem) {
    problem.clear();
    std::size_t begin = findLineStart(data, "=ybegin ", 0);
    if (begin == std::string_view::npos) return std::nullopt;
    YencArticle article;
    std::size_t next = 0;
    std::string_view header = lineAt(data, begin, next);
    // The name runs to the end of the line and may hold blanks and "key=" texts.
    // Without one the caller names the file.
    std::size_t nameAt = header.find(" name=");
    if (nameAt != std::string_view::npos) article.name = std::string(header.substr(nameAt + 6));
    std::string_view keys = header.substr(0, nameAt);
    if (!parseNumber(keywordValue(keys, "size"), article.size) || article.size > kMaxYencFileSize) {
        problem = "=ybegin line without a usable size";
        return std::nullopt;
    }
    std::string_view part = keywordValue(keys, "part");
    std::string_view total = keywordValue(keys, "total");
    if ((!part.empty() && !parseNumber(part, article.part)) ||
        (!total.empty() && !parseNumber(total, article.total))) {
        problem = "=ybegin line with a bad part or total";
        return std::nullopt;
    }
    article.end = article.size;
    // A repeated "=ybegin" and an "=ypart" that a single-part article does not expect are
    // header lines all the same, never data.
    std::size_t bodyStart = next;
    std::string_view partLine;
    while (bodyStart < data.size()) {
        std::string_view line = lineAt(data, bodyStart, next);
        bool isPart = line.substr(0, 7) == "=ypart ";
        if (!isPart && line.substr(0, 8) != "=ybegin ") break;
        if (isPart && partLine.empty()) partLine = line;
        bodyStart = next;
    }
    bool hasPartLine = !partLine.empty();
    // Some encoders mark a single-part post "part=1 total=1" without an "=ypart" line.
    bool wholeFile = article.part == 1 && article.total <= 1 && !hasPartLine;
    if (article.part > 0 && !wholeFile) {
        if (!hasPartLine) {
            problem = "multi-part article without an =ypart line";
            return std::nullopt;
        }
        if (!parseNumber(keywordValue(partLine, "begin"), article.begin) ||
            !parseNumber(keywordValue(partLine, "end"), article.end) || article.begin == 0 ||
            article.end + 1 < article.begin || article.end > article.size) {
            problem = "=ypart line with a bad range";
            return std::nullopt;
        }
    }
    std::size_t endLine = findEndLine(data, bodyStart);
    if (endLine == std::string_view::npos) {
        article.body = data.substr(bodyStart, trimmedEnd(data, bodyStart) - bodyStart);
        return article;
    }
    article.hasEnd = true;
    article.body = data.substr(bodyStart, endLine - bodyStart);
    std::string_view trailer = lineAt(data, endLine, next);
    std::uint64_t partSize = 0;
    std::string_view sizeText = keywordValue(trailer, "size");
    if (!sizeText.empty() && parseNumber(sizeText, partSize)) article.partSize = partSize;
    bool crcs =
        parseCrc(trailer, "pcrc32", article.partCrc) && parseCrc(trailer, "crc32", article.fileCrc);
    if (!crcs) problem = "=yend line with a bad CRC";
    // A single-part post carries its CRC as crc32 only.
    if ((article.part == 0 || wholeFile) && !article.partCrc) article.partCrc = article.fileCrc;
    return article;
}
