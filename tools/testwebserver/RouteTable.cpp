#include "RouteTable.h"

#include <cstdlib>
#include <fstream>

namespace {

// Splits a line into blank-separated words; a double-quoted stretch keeps its blanks
// and loses its quotes.
bool splitWords(const std::string& line, std::vector<std::string>& words) {
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return !quoted;
}

bool parseNumber(const std::string& text, int& number) {
    if (text.empty()) return false;
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 10);
    if (*end || value < 0 || value > 100000000) return false;
    number = (int)value;
    return true;
}

bool applyOption(const std::string& option, Route& route, std::string& error) {
    size_t eq = option.find('=');
    std::string key = option.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
    if (key == "gzip")
        route.gzip = true;
    else if (key == "raw")
        route.raw = true;
    else if (key == "silent")
        route.silent = true;
    else if (key == "type")
        route.contentType = value;
    else if (key == "header")
        route.extraHeaders.push_back(value);
    else if (key == "attachment")
        route.attachmentName = value;
    else if (key == "redirect")
        route.redirect = value;
    else {
        int* number = key == "status"       ? &route.status
                      : key == "headersize" ? &route.headerSize
                      : key == "delay"      ? &route.delayMs
                      : key == "chunk"      ? &route.chunkSize
                      : key == "pause"      ? &route.pauseMs
                      : key == "truncate"   ? &route.truncateAt
                                            : nullptr;
        if (!number) {
            error = "unknown option '" + key + "'";
            return false;
        }
        if (!parseNumber(value, *number)) {
            error = "option '" + key + "' needs a number";
            return false;
        }
    }
    return true;
}

} // namespace

bool RouteTable::addLine(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    if (!splitWords(line, words)) {
        error = "unbalanced quote in: " + line;
        return false;
    }
    if (words.empty() || words[0][0] == '#') return true;
    if (words.size() < 4 || words[2] != "->") {
        error = "expected 'METHOD TARGET -> FILE [option ...]': " + line;
        return false;
    }
    Route route;
    route.method = words[0];
    if (route.method != "GET" && route.method != "POST" && route.method != "*") {
        error = "method must be GET, POST or *: " + line;
        return false;
    }
    route.target = words[1];
    if (!route.target.empty() && route.target.back() == '*') {
        route.target.pop_back();
        route.isPrefix = true;
    }
    route.file = words[3] == "-" ? "" : words[3];
    for (size_t i = 4; i < words.size(); ++i) {
        if (!applyOption(words[i], route, error)) {
            error += ": " + line;
            return false;
        }
    }
    routes.push_back(route);
    return true;
}

bool RouteTable::addFile(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read route file " + path;
        return false;
    }
    std::string line;
    while (std::getline(in, line))
        if (!addLine(line, error)) return false;
    return true;
}

std::optional<Route> RouteTable::match(const std::string& method, const std::string& target) const {
    for (const Route& route : routes) {
        if (route.method != "*" && route.method != method) continue;
        bool hit = route.isPrefix ? target.compare(0, route.target.size(), route.target) == 0
                                  : target == route.target;
        if (hit) return route;
    }
    return std::nullopt;
}
