#include "FuzzOracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

void fuzzFail(const std::string& what, std::string_view detail) {
    fprintf(stderr, "FUZZ ORACLE: %s\n", what.c_str());
    if (!detail.empty())
        fprintf(stderr, "  in: %.*s\n", (int)std::min<size_t>(detail.size(), 2000), detail.data());
    abort();
}

namespace {

int authorize(void* user, int action, const char* first, const char* second, const char*,
              const char* inner) {
    // Calls from inside a trigger or view belong to the schema, not to the statement.
    if (!inner) {
        auto* events = static_cast<std::vector<AuthEvent>*>(user);
        events->push_back({action, first ? first : "", second ? second : ""});
    }
    return SQLITE_OK;
}

} // namespace

SchemaDatabase::SchemaDatabase(const char* schema) {
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) fuzzFail("cannot open an in-memory database");
    std::string_view rest = schema;
    for (std::string_view line : splitLines(rest))
        sqlite3_exec(db, std::string(line).c_str(), nullptr, nullptr, nullptr);
    sqlite3_set_authorizer(db, authorize, &events);
}

SchemaDatabase::~SchemaDatabase() {
    sqlite3_close(db);
}

std::vector<SchemaDatabase::Statement> SchemaDatabase::prepareAll(const std::string& script) {
    std::vector<Statement> statements;
    const char* end = script.c_str() + script.size();
    for (const char* at = script.c_str(); at < end;) {
        events.clear();
        sqlite3_stmt* statement = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, at, (int)(end - at), &statement, &tail) != SQLITE_OK)
            fuzzFail(std::string("statement does not prepare: ") + sqlite3_errmsg(db), at);
        if (statement) statements.push_back({std::string(at, tail), events});
        sqlite3_finalize(statement);
        if (!tail || tail == at) break;
        at = tail;
    }
    return statements;
}

std::vector<AuthEvent> SchemaDatabase::prepareOne(const std::string& sql) {
    std::vector<Statement> statements = prepareAll(sql);
    if (statements.size() != 1) fuzzFail("not exactly one statement", sql);
    return statements.front().events;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}
