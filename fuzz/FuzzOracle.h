// What every harness checks besides "did not crash": a failed check prints what went
// wrong and aborts, so libFuzzer keeps the input as a crash.
#pragma once
#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

[[noreturn]] void fuzzFail(const std::string& what, std::string_view detail = {});

// One call of SQLite's authorizer while a statement was prepared: the action code and
// its two texts (table and column, function name, ...), empty where SQLite gives none.
struct AuthEvent {
    int action;
    std::string first, second;
};

// An in-memory database made by `schema` (its statements run one by one; one that
// fails is skipped).
class SchemaDatabase {
  public:
    explicit SchemaDatabase(const char* schema);
    ~SchemaDatabase();
    SchemaDatabase(const SchemaDatabase&) = delete;
    SchemaDatabase& operator=(const SchemaDatabase&) = delete;

    // Prepares `sql`, which must be exactly one statement with nothing but blanks after
    // it; fails the run otherwise. The authorizer calls of the statement itself (not of
    // triggers or views it touches).
    std::vector<AuthEvent> prepareOne(const std::string& sql);

    // Prepares every statement of `script` in turn (as sqlite3_exec would run it); fails
    // the run when one does not prepare. Each statement's text and authorizer calls.
    struct Statement {
        std::string text;
        std::vector<AuthEvent> events;
    };
    std::vector<Statement> prepareAll(const std::string& script);

  private:
    sqlite3* db = nullptr;
    std::vector<AuthEvent> events;
};

// The lines of `text` without their line feeds; a last line without one counts too.
std::vector<std::string_view> splitLines(std::string_view text);
