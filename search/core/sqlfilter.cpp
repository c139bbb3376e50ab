#include "sqlfilter.h"

#include "sqlText.h"
#include "tRecordData.h"

#include <cstdlib>
#include <cstring>

namespace {

bool isOperator(char c) {
    return c == '<' || c == '=' || c == '>';
}

// A number, possibly behind one more operator character ("=5" of ">=5"). Anything else
// would go into the statement as SQL of its own.
bool isNumber(const std::string& value) {
    size_t start = 0;
    while (start < value.size() && isOperator(value[start]))
        ++start;
    const char* number = value.c_str() + start;
    // Only decimal notation: strtod also reads "inf", "nan" and hexadecimal, which SQLite
    // takes for column names or rejects.
    if (strspn(number, "0123456789.eE+-") != strlen(number)) return false;
    char* end = nullptr;
    strtod(number, &end);
    return end != number && *end == 0;
}

void appendQuotedLike(std::string& out, const std::string& value) {
    out += "LIKE'%";
    appendSqlText(out, value.c_str());
    out += "%' ";
}

// One word, no spaces. Writes nothing when the word yields no condition.
void wordCondition(std::string& out, const char* column, const std::string& word, int type) {
    if (word.empty()) return;
    if (word[0] == '[') {
        size_t close = word.find(']');
        if (close == std::string::npos) return;
        // The user's own SQL on the user's own database: copied as typed.
        out += '`';
        out += column;
        out += '`';
        out.append(word, 1, word.size() - 2);
        out += ' ';
        return;
    }
    bool negated = word[0] == '!';
    bool hasOperator = negated || isOperator(word[0]);
    std::string value = hasOperator ? word.substr(1) : word;

    if (type == COLTYPE_NUMBER || type == COLTYPE_SIZE) {
        if (!isNumber(value)) return;
        // A negation is written in front of the whole comparison so that "!5" and
        // "!<5" stay valid SQL; a plain "NOT =" after the column is rejected by SQLite.
        if (negated) out += "NOT ";
        out += '`';
        out += column;
        out += '`';
        if (negated && !isOperator(value[0]))
            out += '=';
        else if (!negated)
            out += hasOperator ? word[0] : '=';
        out += value;
        out += ' ';
        return;
    }
    while (!value.empty() && isOperator(value[0]))
        value.erase(0, 1);
    out += '`';
    out += column;
    out += '`';
    if (negated) out += "NOT ";
    appendQuotedLike(out, value);
}

} // namespace

void sqlfilter(std::string& out, const char* column, const char* filter, int type) {
    out.clear();
    if (!filter || !column) return;
    const char* p = filter;
    while (*p) {
        while (*p == ' ')
            ++p;
        const char* end = strchr(p, ' ');
        if (!end) end = p + strlen(p);
        if (end > p) {
            std::string condition;
            wordCondition(condition, column, std::string(p, end), type);
            if (!condition.empty()) {
                if (!out.empty()) out += "AND ";
                out += condition;
            }
        }
        p = end;
    }
}
