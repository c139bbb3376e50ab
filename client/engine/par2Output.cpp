#include "par2Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool startsWith(const std::string& text, const char* start) {
    return text.compare(0, strlen(start), start) == 0;
}

// par2cmdline's exit codes past "repair possible" (1) and "not possible" (2).
const char* exitMeaning(int code) {
    switch (code) {
    case 3:
        return "invalid arguments";
    case 4:
        return "PAR2 set unreadable";
    case 5:
        return "repair failed";
    case 6:
        return "file error";
    case 8:
        return "out of memory";
    default:
        return "failed";
    }
}

} // namespace

void par2Output::read(const std::string& line) {
    int first = 0;
    int second = 0;
    float percent = 0;
    if (line.empty()) return;
    if (line.back() == '%') {
        // Progress counters: "Loading: 8.5%", "Scanning: …", "Repairing: 12.5%".
        if (sscanf(line.c_str(), "Repairing: %f%%", &percent) == 1 && percent >= 0 &&
            percent <= 100) {
            repairPercent = (int)percent;
            repairing = true;
        }
        return;
    }
    lastText = line.substr(0, 200);
    if (sscanf(line.c_str(), "You have %d out of %d data blocks available.", &first, &second) ==
        2) {
        availableBlocks = first;
        totalBlocks = second;
        sawBlocks = first >= 0 && second >= first;
    } else if (sscanf(line.c_str(), "You have %d recovery blocks available.", &first) == 1) {
        recoveryBlocks = first;
    } else if (startsWith(line, "All files are correct, repair is not required.")) {
        state = Intact;
    } else if (line == "Repair is possible.") {
        state = Repairable;
    } else if (line == "Repair is not possible.") {
        state = NotRepairable;
    } else if (line == "Repair complete.") {
        sawComplete = true;
    } else if (startsWith(line, "Target: \"")) {
        if (line.size() > 21 && line.compare(line.size() - 12, 12, "\" - missing.") == 0)
            missingTargets.push_back(line.substr(9, line.size() - 21));
        size_t at = line.find("\" - damaged. Found ", 9);
        if (at != std::string::npos &&
            sscanf(line.c_str() + at, "\" - damaged. Found %d of %d data blocks.", &first,
                   &second) == 2 &&
            first > 0)
            damagedTargets.push_back(line.substr(9, at - 9));
    } else if (startsWith(line, "File: \"")) {
        readFileLine(line);
    }
}

// 'File: "x" - is a match for "y".' or 'File: "x" - found 12 of 13 data blocks from "y".'
void par2Output::readFileLine(const std::string& line) {
    size_t nameEnd = line.find("\" - ", 7);
    size_t recorded = line.rfind(" \"");
    if (nameEnd == std::string::npos || recorded == std::string::npos || recorded < nameEnd ||
        line.size() < recorded + 4 || line.compare(line.size() - 2, 2, "\".") != 0)
        return;
    std::pair<std::string, std::string> names{
        line.substr(7, nameEnd - 7), line.substr(recorded + 2, line.size() - 4 - recorded)};
    std::string middle = line.substr(nameEnd + 4, recorded - nameEnd - 4);
    int found = 0;
    int total = 0;
    if (middle == "is a match for")
        matches.push_back(names);
    else if (sscanf(middle.c_str(), "found %d of %d data blocks from", &found, &total) == 2 &&
             found > 0)
        partialCopies.push_back(names);
}

void par2Output::finish(const tchildRun& run) {
    if (run.error == ENOENT || run.error == EACCES) {
        failure = "par2 not found";
    } else if (run.error != 0) {
        failure = std::string("par2 could not be started: ") + strerror(run.error);
    } else if (run.stopped) {
        failure = "stopped";
    } else if (run.exitCode < 0) {
        failure = "par2 ended abnormally";
    } else if (run.exitCode >= 3) {
        failure = std::string("par2: ") + exitMeaning(run.exitCode) +
                  (lastText.empty() ? "" : " (" + lastText + ")");
    } else {
        bool agrees = run.exitCode == 0   ? state == Intact || sawComplete
                      : run.exitCode == 1 ? sawBlocks && state == Repairable
                                          : sawBlocks && state == NotRepairable;
        if (!agrees)
            failure = "unexpected par2 output" + (lastText.empty() ? "" : ": " + lastText);
        else if (run.exitCode == 0 && !sawComplete)
            state = Intact;
    }
}
