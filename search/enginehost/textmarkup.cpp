#include "textmarkup.h"

#include "sqlText.h"
#include "utf8Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <vector>

namespace {

// For each entity: "&", its name, "; " and the replacement byte. A lookup finds the
// first occurrence of "&name" and takes the byte two places behind it.
const char kEntityTable[] =
    "&amp; &&gt; >&lt; <&quot; \"&apos; `"
    "&AElig; \xC6&Aacute; \xC1&Acirc; \xC2&Agrave; \xC0&Aring; \xC5&Atilde; \xC3&Auml; \xC4"
    "&Ccedil; \xC7&ETH; \xD0&Eacute; \xC9&Ecirc; \xCA&Egrave; \xC8&Euml; \xCB&Iacute; \xCD"
    "&Icirc; \xCE&Igrave; \xCC&Iuml; \xCF&Ntilde; \xD1&Oacute; \xD3&Ocirc; \xD4&Ograve; \xD2"
    "&Oslash; \xD8&Otilde; \xD5&Ouml; \xD6&THORN; \xDE&Uacute; \xDA&Ucirc; \xDB&Ugrave; \xD9"
    "&Uuml; \xDC&Yacute; \xDD&aacute; \xE1&acirc; \xE2&aelig; \xE6&agrave; \xE0&aring; \xE5"
    "&atilde; \xE3&auml; \xE4&ccedil; \xE7&eacute; \xE9&ecirc; \xEA&egrave; \xE8&eth; \xF0"
    "&euml; \xEB&iacute; \xED&icirc; \xEE&igrave; \xEC&iuml; \xEF&ntilde; \xF1&oacute; \xF3"
    "&ocirc; \xF4&ograve; \xF2&oslash; \xF8&otilde; \xF5&ouml; \xF6&szlig; \xDF&thorn; \xFE"
    "&uacute; \xFA&ucirc; \xFB&ugrave; \xF9&uuml; \xFC&yacute; \xFD&yuml; \xFF&copy; \xA9"
    "&reg; \xAE&nbsp;  &iexcl; \xA1&cent; \xA2&pound; \xA3&curren; \xA4&yen; \xA5"
    "&brvbar; \xA6&sect; \xA7&uml; \xA8&ordf; \xAA&laquo; \xAB&not; \xAC&shy; \xAD"
    "&macr; \xAF&deg; \xB0&plusmn; \xB1&sup1; \xB9&sup2; \xB2&sup3; \xB3&acute; \xB4"
    "&micro; \xB5&para; \xB6&middot; \xB7&cedil; \xB8&ordm; \xBA&raquo; \xBB&frac14; \xBC"
    "&frac12; \xBD&frac34; \xBE&iquest; \xBF&times; \xD7&divide; \xF7";

// Bytes that text2url escapes besides those of UTF-8 sequences; the space is turned into
// "+" before this set is asked.
const char kUrlEscapes[] = "$&,/:;=?@ ?<>#%{}|\\^~[]`'";

// U+00A0 in UTF-8: a blank where pages lay out their cells.
const char kNoBreakSpace[] = "\xC2\xA0";

// A longer name than this between "&" and ";" is not an entity.
constexpr long kEntityMaxSpan = 9;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr unsigned kLastCode = 0x10FFFF;

// The code point that replaces the entity "&...;" spanning [amp, semi]: "?" for a code
// no text can hold.
unsigned entityCode(const char* amp, const char* semi) {
    unsigned value = 0;
    bool found = false;
    if (amp[1] == '#') {
        const bool hex = amp[2] == 'x';
        for (const char* p = amp + (hex ? 3 : 2); p < semi; ++p) {
            const int digit = hex ? hexDigit(*p) : (*p >= '0' && *p <= '9' ? *p - '0' : -1);
            if (digit < 0) break;
            value = std::min(value * (hex ? 16 : 10) + (unsigned)digit, kLastCode + 1);
            found = true;
        }
        if (!found) return ' ';
        return value > kLastCode || (value >= 0xD800 && value < 0xE000) ? '?' : value;
    }
    // The table holds ISO 8859-1 bytes, whose values are their code points.
    const std::string_view name(amp, (size_t)(semi - amp));
    const std::string_view table(kEntityTable, sizeof kEntityTable - 1);
    const size_t at = table.find(name);
    if (at == std::string_view::npos || at + name.size() + 2 >= table.size()) return ' ';
    return (unsigned char)table[at + name.size() + 2];
}

void shortenNewsgroups(char* s) {
    replacetext(s, "alt.binaries.", "a.b.");
}

void cleanField(char*& field, int mode) {
    switch (mode) {
    case 1:
        field = stripwhitespace(field);
        html2text(field);
        striptags(field);
        break;
    case 2:
        html2text(field);
        striptags(field);
        break;
    case 3:
        url2text(field);
        break;
    case 4:
        field = stripwhitespace(field);
        striptags(field);
        shortenNewsgroups(field);
        break;
    case 5:
        striptags(field);
        shortenNewsgroups(field);
        break;
    default:
        break;
    }
}

// A text for a quoted SQL literal: apostrophes doubled. No row holds more than the row
// limit, so a longer text is only read that far.
std::string sqlLiteral(const char* text, const char* absent) {
    std::string out;
    appendSqlText(out, text ? text : absent, kResultRowLimit);
    return out;
}

// Cuts an escaped literal to at most `length` bytes without splitting a doubled quote
// or a character.
void cutLiteral(std::string& literal, size_t length) {
    if (literal.size() <= length) return;
    literal.resize(utf8Cut(literal.c_str(), length));
    size_t quotes = 0;
    while (quotes < literal.size() && literal[literal.size() - 1 - quotes] == '\'')
        ++quotes;
    if (quotes % 2) literal.pop_back();
}

// Shortens the longest texts first until their total fits `budget`: every text longer
// than a common cap is cut to it, the cap being the largest that fits. One pass, so a
// row of huge texts costs no more than reading them.
void fitTexts(std::vector<std::string*>& texts, size_t budget) {
    size_t total = 0;
    for (auto* t : texts)
        total += t->size();
    if (total <= budget) return;
    std::sort(texts.begin(), texts.end(), [](auto* a, auto* b) { return a->size() < b->size(); });
    size_t room = budget;
    for (size_t i = 0; i < texts.size(); ++i) {
        const size_t left = texts.size() - i;
        if (texts[i]->size() <= room / left) {
            room -= texts[i]->size();
            continue;
        }
        for (size_t j = i; j < texts.size(); ++j)
            cutLiteral(*texts[j], room / left);
        return;
    }
}

const char kRowTemplate[] =
    "INSERT OR IGNORE INTO result VALUES('%s','%s',0,%d,'%s/%s','%s','%s',%d,"
    "'%s','%s','%s',%d,%lld);\n";

// Calendar fields read on the first row call since the module was loaded; the reference
// instant is the end of that day. Only the one parsing thread touches them.
bool clockRead = false;
struct tm firstDay {};
time_t referenceInstant = 0;

} // namespace

char* strExtract(char* text, const char* start, const char* end, char*& field, int mode) {
    if (!text) return nullptr;
    char* begin = text;
    if (start) {
        char* at = strstr(text, start);
        if (!at) return nullptr;
        begin = at + strlen(start);
    }
    char* stop = begin + strlen(begin);
    char* cursor = stop;
    if (end) {
        stop = strstr(begin, end);
        if (!stop) return nullptr;
        cursor = stop + strlen(end);
    }
    if (stop > begin) {
        field = begin;
        *stop = 0;
        cleanField(field, mode);
    }
    return cursor;
}

char* tosql(char* s) {
    if (!s) return s;
    for (char* p = s; *p; ++p)
        if (*p == '\'') *p = '`';
    return s;
}

char* stripwhitespace(char* s) {
    for (;;) {
        if (*s && (unsigned char)*s <= 32)
            ++s;
        else if (strncmp(s, kNoBreakSpace, 2) == 0)
            s += 2;
        else
            return s;
    }
}

// The routines below compact the text with a read and a write position instead of
// closing each gap on its own, so a hostile page cannot make them quadratic.

void replacetext(char* s, const char* find, const char* repl) {
    if (!s || !find || !repl) return;
    const size_t findLength = strlen(find);
    const size_t replLength = strlen(repl);
    if (findLength == 0 || replLength > findLength) return;
    char* read = s;
    char* write = s;
    for (char* hit; *read && (hit = strstr(read, find)); read = hit + findLength) {
        memmove(write, read, (size_t)(hit - read));
        write += hit - read;
        memcpy(write, repl, replLength);
        write += replLength;
    }
    memmove(write, read, strlen(read) + 1);
}

int striptags(char* s) {
    if (!s) return 0;
    char* read = s;
    char* write = s;
    for (;;) {
        char* open = strchr(read, '<');
        char* close = open ? strchr(open + 1, '>') : nullptr;
        if (!close) break;
        memmove(write, read, (size_t)(open - read));
        write += open - read;
        if (strncasecmp(open, "<br>", 4) == 0) *write++ = ' ';
        read = close + 1;
    }
    const size_t rest = strlen(read);
    memmove(write, read, rest + 1);
    return (int)(write - s + rest);
}

void url2text(char* s) {
    if (!s) return;
    char* read = s;
    char* write = s;
    while (*read) {
        if (*read != '%') {
            *write++ = *read++;
            continue;
        }
        const int high = hexDigit(read[1]);
        if (read[1] == 0 || (high >= 0 && read[2] == 0)) break; // a cut-off escape ends the text
        const int low = high >= 0 ? hexDigit(read[2]) : -1;
        if (low < 0) {
            *write++ = *read++;
            continue;
        }
        const char decoded = (char)(high * 16 + low);
        if (decoded == 0) break; // %00 ends the text
        *write++ = decoded;
        read += 3;
    }
    *write = 0;
    for (char* p = s; *p; ++p)
        if (*p == '+') *p = ' ';
}

int html2text(char* s) {
    if (!s) return 0;
    char* read = s;
    char* write = s;
    for (;;) {
        char* amp = strchr(read, '&');
        if (!amp) break;
        // Only the next kEntityMaxSpan bytes can hold the ";" of an entity.
        char* semi = amp + 1;
        while (*semi && *semi != ';' && semi - amp <= kEntityMaxSpan)
            ++semi;
        if (*semi != ';' || semi - amp > kEntityMaxSpan) {
            memmove(write, read, (size_t)(amp + 1 - read));
            write += amp + 1 - read;
            read = amp + 1;
            continue;
        }
        memmove(write, read, (size_t)(amp - read));
        write += amp - read;
        const unsigned code = entityCode(amp, semi);
        if (code == 0) {
            read = semi; // the decoded zero ends the text
            *semi = 0;
            break;
        }
        // The decoded character goes back in front of the unread text: it may start the
        // next entity, so "&amp;lt;" reads as "<". Its UTF-8 form is never longer than the
        // entity.
        char encoded[4];
        const size_t length = utf8Encode(code, encoded);
        read = semi + 1 - length;
        memcpy(read, encoded, length);
    }
    const size_t rest = strlen(read);
    memmove(write, read, rest + 1);
    return (int)(write - s + rest);
}

char* text2url(char* out, const char* in) {
    if (!in) return nullptr;
    char* w = out;
    for (const unsigned char* p = (const unsigned char*)in; *p; ++p) {
        if (*p == ' ') {
            *w++ = '+';
        } else if (*p >= 0x80 || strchr(kUrlEscapes, *p)) {
            static const char digits[] = "0123456789ABCDEF";
            *w++ = '%';
            *w++ = digits[*p >> 4];
            *w++ = digits[*p & 15];
        } else {
            *w++ = (char)*p;
        }
    }
    *w = 0;
    return out;
}

void concatresult(int number, tresult& row, std::string& sql, const char* engine) {
    if (!clockRead) {
        const time_t now = time(nullptr);
        localtime_r(&now, &firstDay);
        clockRead = true;
    }
    if (number == 0) {
        sql += "BEGIN;\n";
        struct tm endOfDay = firstDay;
        endOfDay.tm_hour = 23;
        endOfDay.tm_min = 59;
        endOfDay.tm_sec = 59;
        endOfDay.tm_isdst = -1;
        referenceInstant = mktime(&endOfDay);
    }
    if (number == -1) {
        sql += "COMMIT;\n";
        return;
    }
    tosql(row.subject);
    tosql(row.filename);
    tosql(row.poster);
    // Every text goes into a quoted literal, so doubling apostrophes makes it harmless;
    // after tosql the three free texts hold none.
    std::string id = sqlLiteral(row.result_id, "");
    std::string service = sqlLiteral(engine, "");
    std::string avail = sqlLiteral(row.parts_avail, "1");
    std::string total = sqlLiteral(row.parts_total, "1");
    std::string subject = sqlLiteral(row.subject, "");
    std::string filename = sqlLiteral(row.filename, "");
    std::string newsgroup = sqlLiteral(row.newsgroup, "");
    std::string category = sqlLiteral(row.category, "");
    std::string poster = sqlLiteral(row.poster, "");
    const long long stamp = (long long)referenceInstant - (long long)row.age * 86400;

    char line[kResultRowLimit + 1];
    const int frame = snprintf(line, sizeof line, kRowTemplate, "", "", row.pct, "", "", "", "",
                               row.size, "", "", "", row.age, stamp);
    std::vector<std::string*> texts{&id,       &service,   &avail,    &total, &subject,
                                    &filename, &newsgroup, &category, &poster};
    fitTexts(texts, frame < (int)kResultRowLimit ? kResultRowLimit - (size_t)frame : 0);
    snprintf(line, sizeof line, kRowTemplate, id.c_str(), service.c_str(), row.pct, avail.c_str(),
             total.c_str(), subject.c_str(), filename.c_str(), row.size, newsgroup.c_str(),
             category.c_str(), poster.c_str(), row.age, stamp);
    sql += line;
}
