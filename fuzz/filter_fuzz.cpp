// The filter translator of the result list: whatever the user types into a column's
// filter (the "[...]" raw SQL fragment aside, which is the user's own SQL by design), the
// condition makes one valid SELECT whose WHERE reads only that column, each word
// becoming at most one comparison (number columns) or one LIKE (text columns).
#include "CMiravelDB.h"
#include "FuzzOracle.h"
#include "sqlfilter.h"
#include "tRecordData.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

struct Column {
    const char* name;
    int type;
};
const Column kColumns[] = {{"size", COLTYPE_SIZE}, {"age", COLTYPE_NUMBER},
                           {"subject", COLTYPE_TEXT}, {"engine", COLTYPE_HIDDEN}};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "`col`<op><number>" with an optional "NOT " before it: a plain comparison.
bool isComparison(std::string_view condition, const std::string& quoted) {
    if (startsWith(condition, "NOT ")) condition.remove_prefix(4);
    if (!startsWith(condition, quoted)) return false;
    condition.remove_prefix(quoted.size());
    for (const char* op : {"<=", ">=", "<>", "==", "<", ">", "="})
        if (startsWith(condition, op)) {
            std::string_view number = condition.substr(strlen(op));
            return !number.empty() &&
                   number.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
        }
    return false;
}

// "`col`LIKE'%...%'" or "`col`NOT LIKE'%...%'", every apostrophe inside doubled.
bool isLike(std::string_view condition, const std::string& quoted) {
    if (!startsWith(condition, quoted)) return false;
    condition.remove_prefix(quoted.size());
    if (startsWith(condition, "NOT ")) condition.remove_prefix(4);
    if (!startsWith(condition, "LIKE'%") || condition.size() < 8 ||
        condition.substr(condition.size() - 2) != "%'")
        return false;
    std::string_view inside = condition.substr(6, condition.size() - 8);
    for (size_t at = inside.find('\''); at != std::string_view::npos; at = inside.find('\'', at + 2))
        if (at + 1 >= inside.size() || inside[at + 1] != '\'') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SchemaDatabase db(CMiravelDB::SCHEMA);
    if (size == 0) return 0;
    const Column& column = kColumns[data[0] % (sizeof kColumns / sizeof kColumns[0])];
    // A filter is typed into its column's fixed field: at most that many characters.
    std::string filter((const char*)data + 1, std::min(size - 1, sizeof(tColumn::filter) - 1));
    filter = filter.substr(0, filter.find('\0'));
    size_t words = 0;
    for (size_t at = 0; at < filter.size(); ++at)
        if (filter[at] != ' ' && (at == 0 || filter[at - 1] == ' ')) {
            if (filter[at] == '[') return 0;
            ++words;
        }

    std::string condition;
    sqlfilter(condition, column.name, filter.c_str(), column.type);
    if (condition.empty()) return 0;
    std::string quoted = std::string("`") + column.name + "`";
    bool numbers = column.type == COLTYPE_NUMBER || column.type == COLTYPE_SIZE;

    std::string sql = "SELECT result_id FROM result WHERE " + condition;
    for (const AuthEvent& e : db.prepareOne(sql)) {
        bool allowed = e.action == SQLITE_SELECT ||
                       (e.action == SQLITE_READ && e.first == "result" &&
                        (e.second == "result_id" || e.second == column.name)) ||
                       (!numbers && e.action == SQLITE_FUNCTION && e.second == "like");
        if (!allowed) fuzzFail("the condition does more than test its column", sql);
    }

    // Words joined by "AND ", each ending in one blank; no word holds a blank.
    size_t conditions = 0;
    for (std::string_view rest = condition; !rest.empty(); ++conditions) {
        size_t end = rest.find(" AND ");
        std::string_view one = rest.substr(0, end == std::string_view::npos ? rest.size() - 1 : end);
        if (numbers ? !isComparison(one, quoted) : !isLike(one, quoted))
            fuzzFail("a condition the words do not allow", sql);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 5);
    }
    if (conditions > words) fuzzFail("more conditions than words", sql);
    return 0;
}
