#include "sqlfilter.h"

#include "sqlText.h"
#include "tRecordData.h"

#include <cstdlib>
#include <cstring>

namespace {

bool isOperator(char c) {
    return c == '<' || c == '=' || c == '>';
}

// The comparison a number word asks for: its leading operator characters, which must
// form one of SQL's comparisons ("" compares for equality). Any other run of them ("><",
// ">>", "=<") is no comparison: as SQL it would be an error or a shift.
bool splitComparison(const std::string& word, std::string& op, std::string& number) {
    size_t length = 0;
    while (length < word.size() && isOperator(word[length]))
        ++length;
    op = word.substr(0, length);
    number = word.substr(length);
    for (const char* valid : {"", "<", ">", "=", "<=", ">=", "<>", "=="})
        if (op == valid) return true;
    return false;
}

// A decimal number and nothing else; anything else would go into the statement as SQL
// of its own.
bool isNumber(const std::string& value) {
    // Only decimal notation: strtod also reads "inf", "nan" and hexadecimal, which SQLite
    // takes for column names or rejects.
    if (value.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
    char* end = nullptr;
    strtod(value.c_str(), &end);
    return end != value.c_str() && *end == 0;
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
        std::string op, number;
        if (!splitComparison(negated ? value : word, op, number) || !isNumber(number)) return;
        // A negation is written in front of the whole comparison so that "!5" and
        // "!<5" stay valid SQL; a plain "NOT =" after the column is rejected by SQLite.
        if (negated) out += "NOT ";
        out += '`';
        out += column;
        out += '`';
        out += op.empty() ? "=" : op;
        out += number;
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
