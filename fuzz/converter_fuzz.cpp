// The NZB converter on any file: every line of the script it writes is one statement of
// the kinds its templates make, on the tables and columns those templates name.
#include "FuzzOracle.h"
#include "TempFiles.h"
#include "articleSchema.h"
#include "quillmap.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>

namespace {

using Events = std::vector<AuthEvent>;

bool allOf(const Events& events, const std::set<std::pair<int, std::string>>& allowed,
           bool columnsToo = false) {
    for (const AuthEvent& e : events) {
        std::string second = e.second;
        if (e.action == SQLITE_FUNCTION)
            for (char& c : second) c = (char)tolower((unsigned char)c);
        std::string name = columnsToo && !second.empty() ? e.first + "." + second : e.first;
        if (!allowed.count({e.action, name}) && !allowed.count({e.action, "*"})) return false;
    }
    return true;
}

// The authorizer calls one line may cause, told by the template it starts with.
bool lineAllowed(std::string_view line, const Events& events) {
    auto startsWith = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
    if (line == "BEGIN" || line == "COMMIT") return allOf(events, {{SQLITE_TRANSACTION, "*"}});
    for (const char* table : {"post", "file", "segm"})
        if (startsWith((std::string("INSERT INTO ") + table + "(").c_str()))
            return allOf(events, {{SQLITE_INSERT, table}});
    for (const char* column : {"fileGroup", "segavail"})
        if (startsWith((std::string("UPDATE file SET ") + column + "=").c_str()))
            return allOf(events, {{SQLITE_UPDATE, std::string("file.") + column},
                                  {SQLITE_READ, "file.fileFID"}},
                         true);
    if (startsWith("UPDATE file SET fileSize=(SELECT SUM(segmBytes)"))
        return allOf(events,
                     {{SQLITE_UPDATE, "file.fileSize"}, {SQLITE_SELECT, ""}, {SQLITE_FUNCTION, ".sum"},
                      {SQLITE_READ, "segm.segmBytes"}, {SQLITE_READ, "segm.segmFID"},
                      {SQLITE_READ, "file.fileFID"}},
                     true);
    if (startsWith("INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE"))
        return allOf(events,
                     {{SQLITE_INSERT, "queu"}, {SQLITE_SELECT, ""}, {SQLITE_READ, "file.fileFID"},
                      {SQLITE_READ, "file.filePID"}, {SQLITE_READ, "file.fileType"},
                      {SQLITE_READ, "file.parblocks"}},
                     true);
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SchemaDatabase db(ARTICLES_SCHEMA);
    static const std::string nzb = fuzzFolder() + "/in.nzb";
    static const std::string script = fuzzFolder() + "/out.sql";
    writeWhole(nzb, std::string_view((const char*)data, size));
    remove(script.c_str());
    quillmap(nzb.c_str(), script.c_str(), 41, 1000);
    std::string text = readWhole(script);
    std::vector<std::string_view> lines = splitLines(text);
    if (!lines.empty() && (lines.front() != "BEGIN" || lines.back() != "COMMIT"))
        fuzzFail("the script is not one transaction", text);
    for (std::string_view line : lines)
        if (!lineAllowed(line, db.prepareOne(std::string(line))))
            fuzzFail("a statement of a kind the converter does not make", line);
    return 0;
}
