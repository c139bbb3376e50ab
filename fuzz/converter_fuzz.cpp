// The NZB converter on any file: every line of the script it writes is one statement of
// the kinds its templates make, on the tables and columns those templates name.
#include "FuzzOracle.h"
#include "TempFiles.h"
#include "articleSchema.h"
#include "quillmap.h"
#include "sqliteDB.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>

namespace {

// One template of the converter: the start of its lines and every authorizer call such a
// line may cause, as action and "table", "table.column" or ".function".
struct Template {
    const char* start;
    std::set<std::pair<int, std::string>> allowed;
};

const Template kTemplates[] = {
    {"BEGIN", {{SQLITE_TRANSACTION, "BEGIN"}}},
    {"COMMIT", {{SQLITE_TRANSACTION, "COMMIT"}}},
    {"INSERT INTO post(", {{SQLITE_INSERT, "post"}}},
    {"INSERT INTO file(", {{SQLITE_INSERT, "file"}}},
    {"INSERT INTO segm(", {{SQLITE_INSERT, "segm"}}},
    {"UPDATE file SET fileGroup=", {{SQLITE_UPDATE, "file.fileGroup"}, {SQLITE_READ, "file.fileFID"}}},
    {"UPDATE file SET segavail=", {{SQLITE_UPDATE, "file.segavail"}, {SQLITE_READ, "file.fileFID"}}},
    {"UPDATE file SET fileSize=(SELECT SUM(segmBytes)",
     {{SQLITE_UPDATE, "file.fileSize"}, {SQLITE_SELECT, ""}, {SQLITE_FUNCTION, ".sum"},
      {SQLITE_READ, "segm.segmBytes"}, {SQLITE_READ, "segm.segmFID"}, {SQLITE_READ, "file.fileFID"}}},
    {"INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE",
     {{SQLITE_INSERT, "queu"}, {SQLITE_SELECT, ""}, {SQLITE_READ, "file.fileFID"},
      {SQLITE_READ, "file.filePID"}, {SQLITE_READ, "file.fileType"}, {SQLITE_READ, "file.parblocks"}}},
    {"INSERT OR REPLACE INTO postPassword(pid, password) VALUES(", {{SQLITE_INSERT, "postPassword"}}},
};

int appendStatement(void* schema, int, char** values, char**) {
    *static_cast<std::string*>(schema) += std::string(values[0]) + "\n";
    return 0;
}

// The article database as the engine opens it: the schema and the engine's own tables,
// one statement per line.
std::string engineSchema() {
    const std::string script = fuzzFolder() + "/schema.sql";
    writeWhole(script, ARTICLES_SCHEMA);
    sqliteDB engine;
    engine.open((fuzzFolder() + "/schema.db").c_str(), script.c_str());
    std::string schema;
    engine.exec("SELECT sql FROM sqlite_master WHERE sql NOT NULL", appendStatement, &schema);
    return schema;
}

// The line's template allows every authorizer call it caused.
bool lineAllowed(std::string_view line, const std::vector<AuthEvent>& events) {
    for (const Template& form : kTemplates) {
        if (line.rfind(form.start, 0) != 0) continue;
        for (const AuthEvent& e : events) {
            std::string second = e.second;
            if (e.action == SQLITE_FUNCTION)
                for (char& c : second) c = (char)tolower((unsigned char)c);
            if (!form.allowed.count({e.action, second.empty() ? e.first : e.first + "." + second}))
                return false;
        }
        return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SchemaDatabase db(engineSchema().c_str());
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
