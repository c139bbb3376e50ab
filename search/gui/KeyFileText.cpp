#include "KeyFileText.h"

#include <vector>

namespace {

const char* const kBlanks = " \t";

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// One line of the file as written (its line end included) and what it says.
struct Line {
    std::string raw;
    std::string group; // the group this line belongs to ("" before the first header)
    bool header = false;
    bool entry = false; // a key=value line
    std::string key;
    std::string value;
};

std::vector<Line> parse(const std::string& text) {
    std::vector<Line> lines;
    std::string group;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        Line line;
        line.raw = text.substr(start, end - start);
        std::string content = line.raw;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.pop_back();
        std::string bare = trimmed(content);
        if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
            group = bare.substr(1, bare.size() - 2);
            line.header = true;
        } else if (!bare.empty() && bare[0] != '#') {
            size_t equals = bare.find('=');
            if (equals != std::string::npos) {
                line.entry = true;
                line.key = trimmed(bare.substr(0, equals));
                line.value = trimmed(bare.substr(equals + 1));
            }
        }
        line.group = group;
        lines.push_back(line);
        start = end;
    }
    return lines;
}

std::string withLineEnd(const std::string& raw) {
    return !raw.empty() && raw.back() != '\n' ? raw + "\n" : raw;
}

} // namespace

std::optional<std::string> keyFileValue(const std::string& text, const std::string& group,
                                        const std::string& key) {
    for (const Line& line : parse(text))
        if (line.entry && line.group == group && line.key == key) return line.value;
    return std::nullopt;
}

std::string withKeyFileValue(const std::string& text, const std::string& group,
                             const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + value + "\n";
    std::vector<Line> lines = parse(text);
    bool replaced = false;
    for (Line& line : lines) {
        if (!line.entry || line.group != group || line.key != key) continue;
        line.raw = replaced ? "" : entry;
        replaced = true;
    }
    if (!replaced) {
        // The new entry goes after the last entry of the first group of that name.
        size_t anchor = lines.size();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].header) {
                if (anchor != lines.size()) break;
                if (lines[i].group == group) anchor = i;
            } else if (lines[i].entry && anchor != lines.size()) {
                anchor = i;
            }
        }
        if (anchor == lines.size()) {
            Line header;
            header.raw = "[" + group + "]\n";
            if (!lines.empty()) {
                lines.back().raw = withLineEnd(lines.back().raw);
                header.raw = "\n" + header.raw;
            }
            lines.push_back(header);
            anchor = lines.size() - 1;
        }
        lines[anchor].raw = withLineEnd(lines[anchor].raw) + entry;
    }
    std::string result;
    for (const Line& line : lines)
        result += line.raw;
    return result;
}
