// Builds NZB texts in the usual layout for the converter's tests.
#pragma once

#include <sstream>
#include <string>
#include <vector>

// One file element: `attributes` as they stand in the element, each group name, and
// each segment as `bytes="..." number="...">message-id`.
inline std::string nzbFile(const std::string& attributes, const std::vector<std::string>& groups,
                           const std::vector<std::string>& segments,
                           const std::string& eol = "\r\n") {
    std::string groupText = "<groups>" + eol;
    for (const std::string& group : groups)
        groupText += "<group>" + group + "</group>" + eol;
    groupText += "</groups>" + eol;
    std::string segmentText = "<segments>" + eol;
    for (const std::string& segment : segments)
        segmentText += "<segment " + segment + "</segment>" + eol;
    segmentText += "</segments>" + eol;
    return "<file " + attributes + ">" + eol + groupText + segmentText + "</file>" + eol;
}

inline std::string nzbDocument(const std::vector<std::string>& files,
                               const std::string& eol = "\r\n") {
    std::string text = "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>" + eol +
                       "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">" + eol;
    for (const std::string& file : files)
        text += file;
    return text + "</nzb>" + eol;
}

// The lines of a text without their line feeds.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
