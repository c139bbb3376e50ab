// One engine plug-in's page parser (compiled in with the plug-in's own source): a page
// with rows yields one transaction whose every other statement is one row insert into
// the results table, and nothing else.
#include "CMiravelDB.h"
#include "FuzzOracle.h"
#include "tengine.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SchemaDatabase db(CMiravelDB::SCHEMA);
    static const bool configured = [] {
        tengine engine{};
        return readconfig(engine) >= 0;
    }();
    (void)configured;
    // The host hands the page as a writable, zero-terminated buffer.
    std::vector<char> page(data, data + size);
    page.push_back(0);
    std::string sql;
    int result = parseresult(page.data(), (int)size, sql);
    if (result != kParseHasRows && result != kParseHasMoreRows) return 0;

    // The host runs the script as a whole: row texts may span lines.
    std::vector<SchemaDatabase::Statement> statements = db.prepareAll(sql);
    if (statements.size() < 3) fuzzFail("rows that are not one transaction", sql);
    const std::string row = "INSERT OR IGNORE INTO result VALUES(";
    for (size_t i = 0; i < statements.size(); ++i) {
        const SchemaDatabase::Statement& statement = statements[i];
        const std::vector<AuthEvent>& events = statement.events;
        if (i == 0 || i + 1 == statements.size()) {
            const char* expected = i == 0 ? "BEGIN" : "COMMIT";
            if (events.size() != 1 || events[0].action != SQLITE_TRANSACTION ||
                events[0].first != expected)
                fuzzFail(std::string("the rows do not ") + (i ? "end with COMMIT" : "begin with BEGIN"), sql);
            continue;
        }
        size_t start = statement.text.find_first_not_of(" \r\n\t");
        if (start == std::string::npos || statement.text.compare(start, row.size(), row) != 0)
            fuzzFail("a statement that is no row", statement.text);
        for (const AuthEvent& e : events)
            if (e.action != SQLITE_INSERT || e.first != "result")
                fuzzFail("a statement does more than insert a row", statement.text);
    }
    return 0;
}
