#include "cNzbParser.h"

#include "cElementReader.h"
#include "cEntityTable.h"
#include "cNzbInput.h"
#include "utf8Text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <strings.h>

namespace {

// Longest plain decimal number accepted where a value goes into a statement unquoted.
constexpr std::size_t kMaxDigits = 18;
// The groups text stays this short so that the group update fits the statement buffer.
constexpr std::size_t kGroupsTextMax = cNzbParser::kGroupsSize - 128;

// Values written unquoted must be plain decimal numbers: anything else could carry SQL.
bool isDecimal(const char* text) {
    std::size_t length = std::strspn(text, "0123456789");
    return length > 0 && length <= kMaxDigits && text[length] == '\0';
}

constexpr const char* kBlanks = " \t\r\n";

// Reads the decimal digits at `text` (at least one); the value is capped so that it
// prints as a non-negative int.
bool readNumber(const char*& text, unsigned& value) {
    constexpr unsigned kCap = 999999999;
    if (*text < '0' || *text > '9') return false;
    unsigned long result = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        result = std::min<unsigned long>(result * 10 + (*text - '0'), kCap);
    value = static_cast<unsigned>(result);
    return true;
}

void lowercase(char* begin, const char* end) {
    for (char* p = begin; p < end; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

// The next attribute of an element: after blanks or line ends, the attribute's first
// letter goes to `letter` and its value (between the next two double quotes) is
// terminated in place and returned, each line end or tab in it a blank as XML reads it
// (a value must never split its statement line). `cursor` moves behind the value;
// nullptr when none is left.
char* nextAttribute(char*& cursor, char& letter) {
    char* blank = std::strpbrk(cursor, kBlanks);
    if (!blank) return nullptr;
    char* name = blank + std::strspn(blank, kBlanks);
    char* open = std::strchr(name, '"');
    char* close = open ? std::strchr(open + 1, '"') : nullptr;
    if (!close) return nullptr;
    *close = '\0';
    for (char* p = open + 1; (p = std::strpbrk(p, "\t\r\n")) != nullptr;)
        *p = ' ';
    letter = *name;
    cursor = close + 1;
    return open + 1;
}

// The text after the next ">", up to the end of the element, without the blanks and
// line ends around it; terminated in place. nullptr when the element is not closed.
char* elementContent(char* text) {
    char* open = std::strchr(text, '>');
    if (!open) return nullptr;
    char* content = open + 1 + std::strspn(open + 1, kBlanks);
    char* end = content + std::strlen(content);
    while (end > content && std::strchr(kBlanks, end[-1]))
        --end;
    *end = '\0';
    return content;
}

unsigned classifyExtension(const char* ext, std::size_t length) {
    if (length >= 2 && ext[0] == 'r' && ext[1] != 'a') {
        const char* rest = ext + 1;
        unsigned volume = 0;
        if (readNumber(rest, volume) && volume > 0) return 1;
    }
    static const struct {
        const char* prefix;
        unsigned type;
    } kTypes[] = {{"rar", 1}, {"par2", 2}, {"nzb", 3}, {"nfo", 4}, {"sfv", 5}, {"avi", 6}};
    for (const auto& entry : kTypes) {
        std::size_t prefixLength = std::strlen(entry.prefix);
        if (length >= prefixLength && std::memcmp(ext, entry.prefix, prefixLength) == 0)
            return entry.type;
    }
    return 0;
}

unsigned classifySubject(const char* subject) {
    static const struct {
        const char* mark;
        unsigned type;
    } kMarks[] = {{".par2", 2}, {".nzb", 3}, {".nfo", 4}, {".sfv", 5}, {"sample.avi", 7}};
    for (const auto& entry : kMarks)
        if (std::strstr(subject, entry.mark)) return entry.type;
    return 0;
}

int digitValue(char c, unsigned base) {
    int value = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
    return value < static_cast<int>(base) ? value : -1;
}

// The character code written with `count` digits (at most 8, so no overflow).
bool readCode(const char* digits, std::size_t count, unsigned base, unsigned& code) {
    code = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int digit = digitValue(digits[i], base);
        if (digit < 0) return false;
        code = code * base + static_cast<unsigned>(digit);
    }
    return count > 0;
}

// Numeric references reach further than names: "&#1114111;" has its ";" 9 on.
constexpr std::size_t kNamedReach = 7;
constexpr std::size_t kNumericReach = 10;

// A code point a text may hold: no control character (a value must not end early or
// split its statement line), no surrogate, nothing beyond U+10FFFF.
bool printable(unsigned code) {
    return code >= 0x20 && !(code >= 0x7F && code < 0xA0) && !(code >= 0xD800 && code < 0xE000) &&
           code <= 0x10FFFF;
}

// The code point of one reference, `name` being the `length` characters between "&" and
// ";"; "?" for anything unknown or not printable.
unsigned decodeEntity(const char* name, std::size_t length, char apostrophe) {
    unsigned code = 0;
    bool known = false;
    if (length == 4 && std::memcmp(name, "apos", 4) == 0)
        return static_cast<unsigned char>(apostrophe);
    if (length >= 2 && name[0] == '#' && (name[1] == 'x' || name[1] == 'X'))
        known = readCode(name + 2, length - 2, 16, code);
    else if (length >= 1 && name[0] == '#')
        known = readCode(name + 1, length - 1, 10, code);
    else
        known = cEntityTable::lookup(name, length, code);
    return known && printable(code) ? code : '?';
}

// The longest length up to `length` for a cut of `text` that keeps whole characters.
std::size_t characterCut(const char* text, std::size_t length) {
    return utf8Cut(text, std::min(length, std::strlen(text)));
}

} // namespace

void cNzbParser::parseNZB(const char* nzb, const char* script, long postBase, long fileBase) {
    failure.clear();
    nzbPath = nzb;
    cNzbInput input;
    if (!input.open(nzb)) {
        fail("fopen failure: %s", nzb);
        // A script left from an earlier import must not be taken for this one.
        std::remove(script);
        return;
    }
    out = std::fopen(script, "wb");
    if (!out) {
        fail("fopen failure: %s", script);
        return;
    }
    tfile rec;
    rec.postid = static_cast<unsigned long>(postBase + 1);
    rec.fileid = fileBase;
    const char* slash = std::strrchr(nzb, '/');
    std::string desc = toUtf8(slash ? slash + 1 : nzb);
    const std::string namePassword = takeNamePassword(desc);
    if (desc[quote2sql(desc.c_str(), rec.quotedDesc, sizeof rec.quotedDesc)] != '\0')
        std::printf("nzb name cut: %s\n", desc.c_str());
    rec.postdesc = rec.quotedDesc;
    counts = tcounts{};
    passwordMeta = cPasswordMeta{};

    append(sqlBegin, &rec);
    append(sqlPost, &rec);
    char element[kLineSize];
    cElementReader reader(input);
    for (auto found = reader.next(element, sizeof element);
         found != cElementReader::elementEnd && failure.empty();
         found = reader.next(element, sizeof element)) {
        if (found == cElementReader::elementOk) {
            if (!passwordMeta.take(element)) dispatch(element, &rec);
            continue;
        }
        passwordMeta.skipped();
        if (found == cElementReader::elementTooLong)
            std::printf("nzb element longer than %zu characters skipped: %.60s\n", kLineSize - 1,
                        element);
        else
            std::printf("nzb element with a NUL byte skipped: %.60s\n", element);
        if (element[1] == 'f') { // its groups and segments must not go to the file before
            closeFile(&rec);
            rec.current = false;
        }
    }
    closeFile(&rec); // an NZB cut short still gets the counts of its last file
    storePassword(namePassword, &rec);
    append(sqlQueue, &rec);
    append(sqlCommit, &rec);
    bool written = std::ferror(out) == 0;
    written = std::fclose(out) == 0 && written;
    out = nullptr;
    if (!failure.empty()) {
        // refused while parsing, already said why
    } else if (input.overCap()) {
        fail("nzb: no files in %s: it unpacks to more than %zu MiB", nzb,
             cNzbInput::kMaxUnpacked >> 20);
    } else if (reader.failed()) {
        // A folder, or a file that cannot be read to its end, is no NZB: nothing half-read
        // is imported.
        fail("read failure: %s", nzb);
    } else if (counts.filesWithSegments == 0) {
        fail("nzb: no files in %s", nzb);
    } else if (!written) {
        // Half a script would leave its transaction open: better none at all.
        fail("fwrite failure: %s", script);
    }
    if (!failure.empty()) {
        std::remove(script);
        return;
    }
    if (counts.unsized > 0)
        std::printf("nzb: %ld segments without a valid size, stored with 0 bytes\n",
                    counts.unsized);
    if (counts.unnumbered > 0)
        std::printf("nzb: %ld segments without a valid number, numbered by position\n",
                    counts.unnumbered);
}

void cNzbParser::fail(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    failure = text;
    std::printf("%s\n", text);
}

void cNzbParser::dispatch(char* element, tfile* rec) {
    char* text = element + 1;
    switch (*text) {
    case 'g':
        parseTagGroup(text, rec);
        break;
    case '/':
        if (!rec->current) break;
        if (strncasecmp(text, "/groups", 7) == 0) {
            append(sqlGroups, rec);
        } else if (strncasecmp(text, "/segments", 9) == 0) {
            closeFile(rec);
        }
        break;
    case 'f':
        parseTagFile(text, rec);
        break;
    case 's':
        parseTagSegm(text, rec);
        break;
    default:
        break;
    }
}

void cNzbParser::closeFile(tfile* rec) {
    if (!rec->current || rec->closed) return;
    // The sum over no segments is NULL: such a file keeps its size 0.
    if (rec->segpresent > 0) append(sqlSize, rec);
    append(sqlSegavail, rec);
    rec->closed = true;
}

void cNzbParser::parseTagFile(char* text, tfile* rec) {
    closeFile(rec); // the file before may lack its closing segments line
    rec->subject = rec->poster = rec->date = nullptr;
    rec->segpresent = 0;
    rec->current = false;
    char* cursor = text;
    char letter = 0;
    while (char* value = nextAttribute(cursor, letter)) {
        if (letter == 'd')
            rec->date = isDecimal(value) ? value : nullptr;
        else if (letter == 'p')
            rec->poster = value;
        else if (letter == 's')
            rec->subject = value;
    }
    if (!rec->subject || !rec->poster || !rec->date) {
        std::printf("nzb file skipped, subject, poster or date missing or bad: %.60s\n",
                    rec->subject ? rec->subject : text);
        return;
    }
    if (++counts.files > limits.files) {
        fail("nzb: no files in %s: more than %ld files", nzbPath, limits.files);
        return;
    }
    html2text(rec->poster);
    text2sql(rec->poster);
    html2text(rec->subject);
    text2sql(rec->subject);
    parseSubject(rec);
    rec->fileid++;
    rec->segposition = 0;
    msgids.clear();
    fitFileRow(rec);
    rec->current = true;
    rec->closed = false;
    append(sqlFile, rec);
}

// Cuts poster and subject so that the file row fits the statement buffer; the poster
// gets at most a quarter of the room.
void cNzbParser::fitFileRow(tfile* rec) {
    char* subject = rec->subject;
    char* poster = rec->poster;
    char empty[] = "";
    rec->subject = rec->poster = empty;
    std::size_t room = kStatementSize - 1 - std::strlen(SQLsave(sqlFile, rec, statement));
    rec->subject = subject;
    rec->poster = poster;
    std::size_t posterLength = characterCut(poster, room / 4);
    std::size_t subjectLength = characterCut(subject, room - posterLength);
    if (poster[posterLength] != '\0' || subject[subjectLength] != '\0')
        std::printf("nzb subject or poster cut to fit: %.60s\n", subject);
    poster[posterLength] = '\0';
    subject[subjectLength] = '\0';
}

void cNzbParser::parseTagGroup(char* text, tfile* rec) {
    if (strncasecmp(text, "groups", 6) == 0) {
        rec->groups[0] = '\0';
        return;
    }
    if (char* group = elementContent(text)) appendGroup(group, rec);
}

void cNzbParser::appendGroup(const char* group, tfile* rec) {
    std::size_t used = std::strlen(rec->groups);
    char* end = rec->groups + used;
    std::size_t room = kGroupsTextMax - used; // with the terminator
    std::size_t taken = quote2sql(group, end, room);
    std::size_t added = std::strlen(end);
    if (group[taken] != '\0' || used + added + 1 >= kGroupsTextMax) {
        *end = '\0';
        std::printf("nzb group skipped, group list too long: %.60s\n", group);
        return;
    }
    end[added] = ' ';
    end[added + 1] = '\0';
}

// The meta's password wins over the file name's. One that cannot be stored as it stands
// is refused: changed, it would open nothing.
void cNzbParser::storePassword(const std::string& fromName, tfile* rec) {
    const bool fromMeta = !passwordMeta.password().empty();
    const std::string& password = fromMeta ? passwordMeta.password() : fromName;
    if (password.empty()) return;
    if (const char* fault = passwordFault(password)) {
        std::printf("nzb password from the %s ignored: %s\n", fromMeta ? "meta" : "file name",
                    fault);
        return;
    }
    static_assert(2 * kMaxPassword < kQuotedSize, "every quote doubled, it still fits");
    quote2sql(password.c_str(), rec->quotedPassword, sizeof rec->quotedPassword);
    append(sqlPassword, rec);
}

void cNzbParser::parseTagSegm(char* text, tfile* rec) {
    if (strncasecmp(text, "segments", 8) == 0 || !rec->current) return;
    rec->bytes = rec->number = nullptr;
    rec->segposition++;
    char* cursor = text;
    char letter = 0;
    while (!(rec->bytes && rec->number)) {
        char* value = nextAttribute(cursor, letter);
        if (!value) break;
        if (letter == 'b')
            rec->bytes = isDecimal(value) ? value : nullptr;
        else if (letter == 'n')
            rec->number = isDecimal(value) ? value : nullptr;
    }
    char* msgid = elementContent(cursor);
    if (!msgid) {
        std::printf("nzb segment skipped, element not closed: %.60s\n", text);
        return;
    }
    html2text(msgid);
    if (*msgid == '\0') {
        std::printf("nzb segment skipped, empty message id: %.60s\n", text);
        return;
    }
    if (msgid[quote2sql(msgid, rec->quotedMsgid, sizeof rec->quotedMsgid)] != '\0') {
        std::printf("nzb segment skipped, message id too long: %.60s\n", msgid);
        return;
    }
    if (!msgids.insert(msgid)) {
        std::printf("nzb segment skipped, message id repeated: %.60s\n", msgid);
        return;
    }
    if (++counts.segments > limits.segments) {
        fail("nzb: no files in %s: more than %ld segments", nzbPath, limits.segments);
        return;
    }
    // Lenient where posters are careless: the size is then unknown, the number is the
    // segment's place in the file.
    if (!rec->bytes) {
        rec->bytes = "0";
        counts.unsized++;
    }
    if (!rec->number) {
        std::snprintf(rec->position, sizeof rec->position, "%d", rec->segposition);
        rec->number = rec->position;
        counts.unnumbered++;
    }
    rec->msgid = rec->quotedMsgid;
    if (++rec->segpresent == 1) counts.filesWithSegments++;
    rec->closed = false;
    append(sqlSegm, rec);
}

void cNzbParser::parseSubject(tfile* rec) {
    segcount(rec);
    filename(rec);
    if (rec->type == 2) par2blocks(rec);
}

void cNzbParser::segcount(tfile* rec) {
    rec->segcount = 0;
    const char* open = std::strrchr(rec->subject, '(');
    if (!open || !std::strchr(open, ')')) return;
    const char* cursor = open + 1;
    unsigned part = 0;
    unsigned total = 0;
    // "( 1/50)" and "(1/ 50)" are written too: blanks may come before either number.
    cursor += std::strspn(cursor, " ");
    if (!readNumber(cursor, part) || *cursor++ != '/') return;
    cursor += std::strspn(cursor, " ");
    if (readNumber(cursor, total)) rec->segcount = total;
}

void cNzbParser::filename(tfile* rec) {
    char* subject = rec->subject;
    rec->name[0] = '\0';
    rec->type = 0;
    rec->parblocks = 0;
    char* first = std::strchr(subject, '"');
    char* last = first ? std::strrchr(subject, '"') : nullptr;
    if (first && last > first + 1) {
        std::size_t length = std::min<std::size_t>(last - first - 1, kNameSize - 1);
        length = utf8Cut(first + 1, length);
        std::memcpy(rec->name, first + 1, length);
        rec->name[length] = '\0';
        char* dot = nullptr;
        for (char* p = first + 1; p < last; ++p)
            if (*p == '.') dot = p;
        if (dot) {
            lowercase(dot + 1, last);
            rec->type = classifyExtension(dot + 1, last - dot - 1);
        }
        if (rec->type == 6) {
            lowercase(subject, subject + std::strlen(subject));
            if (std::strstr(subject, "sample.avi")) rec->type = 7;
        }
        return;
    }
    lowercase(subject, subject + std::strlen(subject));
    rec->type = classifySubject(subject);
}

void cNzbParser::par2blocks(tfile* rec) {
    rec->parblocks = 0;
    const char* text = rec->name[0] ? rec->name : rec->subject;
    // Every ".vol" is tried, in any case, so that a name such as "a.volume.vol07+08.par2"
    // is still seen as a recovery volume.
    for (const char* p = text; *p; ++p) {
        if (strncasecmp(p, ".vol", 4) != 0) continue;
        const char* cursor = p + 4;
        unsigned first = 0;
        unsigned blocks = 0;
        if (readNumber(cursor, first) && *cursor++ == '+' && readNumber(cursor, blocks) &&
            strncasecmp(cursor, ".par2", 5) == 0) {
            rec->parblocks = blocks;
            return;
        }
    }
}

char* cNzbParser::SQLsave(eSQLsave kind, tfile* rec, char* buffer) {
    const std::size_t size = kStatementSize;
    const long postid = static_cast<long>(rec->postid);
    int length = 0;
    buffer[0] = '\0'; // kinds outside the table write an empty text
    switch (kind) {
    case sqlBegin:
        length = std::snprintf(buffer, size, "BEGIN\n");
        break;
    case sqlCommit:
        length = std::snprintf(buffer, size, "COMMIT\n");
        break;
    case sqlPost:
        length = std::snprintf(buffer, size,
                               "INSERT INTO post(postPID, postDesc, postTarget)                "
                               "                 VALUES(%ld, '%s', '%s')\n",
                               postid, rec->postdesc, "");
        break;
    case sqlFile:
        length = std::snprintf(buffer, size,
                               "INSERT INTO file(fileFID, filePID, fileSubject, fileName, "
                               "filePoster, fileDate, fileType, segcount, parblocks) VALUES(%ld, "
                               "%ld, '%s', '%s', '%s', %s, %d, %d, %d)\n",
                               rec->fileid, postid, rec->subject, rec->name, rec->poster, rec->date,
                               static_cast<int>(rec->type), static_cast<int>(rec->segcount),
                               static_cast<int>(rec->parblocks));
        break;
    case sqlSegm:
        length = std::snprintf(buffer, size,
                               "INSERT INTO segm(segmFID, segmNum, segmBytes, segmMsgid)       "
                               "        VALUES(%ld, %s, %s, '%s')\n",
                               rec->fileid, rec->number, rec->bytes, rec->msgid);
        break;
    case sqlGroups:
        length = std::snprintf(buffer, size, "UPDATE file SET fileGroup='%s' WHERE fileFID=%ld\n",
                               rec->groups, rec->fileid);
        break;
    case sqlSize:
        length = std::snprintf(buffer, size,
                               "UPDATE file SET fileSize=(SELECT SUM(segmBytes) FROM segm WHERE "
                               "segmFID==%ld ) WHERE fileFID==%ld\n",
                               rec->fileid, rec->fileid);
        break;
    case sqlSegavail:
        length = std::snprintf(buffer, size, "UPDATE file SET segavail=%d WHERE fileFID=%ld\n",
                               rec->segpresent, rec->fileid);
        break;
    case sqlQueue:
        length = std::snprintf(buffer, size,
                               "INSERT INTO queu(queuFID) SELECT fileFID FROM file WHERE "
                               "filePID=%d AND  (fileType<3 AND parblocks=0)\n",
                               static_cast<int>(postid));
        break;
    case sqlPassword:
        length = std::snprintf(buffer, size,
                               "INSERT OR REPLACE INTO postPassword(pid, password) VALUES(%ld, "
                               "'%s')\n",
                               postid, rec->quotedPassword);
        break;
    }
    // A cut statement would be broken SQL on its line: write none instead.
    if (length < 0 || static_cast<std::size_t>(length) >= size) buffer[0] = '\0';
    return buffer;
}

void cNzbParser::append(eSQLsave kind, tfile* rec) {
    std::fputs(SQLsave(kind, rec, statement), out);
}

void cNzbParser::text2sql(char* text) {
    for (char* p = text; *p; ++p)
        if (*p == '\'') *p = '`';
}

void cNzbParser::html2text(char* text, char apostrophe) {
    char* out = text;
    const char* in = text;
    const char* semicolon = nullptr; // the first ";" at or after `in`, kept between "&"s
    while (*in) {
        if (*in != '&') {
            *out++ = *in++;
            continue;
        }
        if (!semicolon || semicolon < in) semicolon = std::strchr(in, ';');
        if (!semicolon) {
            std::memmove(out, in, std::strlen(in) + 1);
            return;
        }
        std::size_t reach = in[1] == '#' ? kNumericReach : kNamedReach;
        if (static_cast<std::size_t>(semicolon - in) > reach) {
            *out++ = *in++;
            continue;
        }
        // Never longer than the reference it replaces, so decoding stays in place.
        out += utf8Encode(decodeEntity(in + 1, semicolon - in - 1, apostrophe), out);
        in = semicolon + 1;
    }
    *out = '\0';
}

std::size_t cNzbParser::quote2sql(const char* text, char* out, std::size_t size) {
    std::size_t used = 0;
    std::size_t taken = 0;
    for (; text[taken] != '\0'; ++taken) {
        char c = text[taken];
        std::size_t need = c == '\'' ? 2 : 1;
        if (used + need >= size) break;
        if (c == '\'') out[used++] = '\'';
        out[used++] = (c == '\n' || c == '\r') ? '?' : c;
    }
    std::size_t whole = utf8Cut(text, taken); // a cut never splits a character
    used -= taken - whole;
    if (size > 0) out[used] = '\0';
    return whole;
}
