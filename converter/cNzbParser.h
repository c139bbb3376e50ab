// The NZB line scanner: reads an NZB whose elements each begin on a line of their own
// and builds the import script for the article database, one statement per line.
// Texts are 8-bit ISO 8859-1.
#pragma once

#include <cstddef>
#include <string>

// Statement kinds of the import script.
enum eSQLsave {
    sqlBegin = 0,
    sqlCommit = 1,
    sqlPost = 2,
    sqlFile = 3,
    sqlSegm = 4,
    sqlGroups = 5,
    sqlSize = 6,
    sqlSegavail = 7,
    sqlQueue = 8,
};

class cNzbParser {
  public:
    static constexpr std::size_t kStatementSize = 1024;
    static constexpr std::size_t kGroupsSize = 1024;
    static constexpr std::size_t kNameSize = 128;
    static constexpr std::size_t kLineSize = 4096;
    // Room for a quoted message id or post description; with it their statements
    // always fit the statement buffer.
    static constexpr std::size_t kQuotedSize = 512;

    // Parse state of one import. Text pointers refer into the current line. Every text
    // that reaches a statement is already safe inside single quotes.
    struct tfile {
        unsigned long postid = 0;
        const char* postdesc = "";
        long fileid = 0;
        // A row was written for the current file element: its groups and segments
        // belong to it. Without one they are dropped rather than given to another file.
        bool current = false;
        // The size and segments-present updates of the current file are written and no
        // segment came after them.
        bool closed = false;
        char* subject = nullptr;
        char* poster = nullptr;
        char* date = nullptr;
        char groups[kGroupsSize] = {}; // quoted group names, each followed by one blank
        char name[kNameSize] = {};
        unsigned type = 0;
        unsigned segcount = 0;
        int segpresent = 0;
        unsigned parblocks = 0;
        char* bytes = nullptr;
        char* number = nullptr;
        const char* msgid = nullptr;
        char quotedDesc[kQuotedSize] = {};
        char quotedMsgid[kQuotedSize] = {};
    };

    // Converts `nzb` into the script file `script`; see quillmap().
    void parseNZB(const char* nzb, const char* script, long postBase, long fileBase);

    // One element line each; `text` points just after the element's "<".
    void parseTagFile(char* text, tfile* rec);
    void parseTagGroup(char* text, tfile* rec);
    void parseTagSegm(char* text, tfile* rec);

    // Name, type, announced segment count and PAR2 blocks from the subject. The
    // subject is lowercased in place as far as the classification needs.
    static void parseSubject(tfile* rec);
    static void segcount(tfile* rec);
    static void filename(tfile* rec);
    static void par2blocks(tfile* rec);

    // Formats one statement, ending in a line feed, into `buffer` (kStatementSize
    // characters) and returns it. A statement that would not fit yields an empty text.
    static char* SQLsave(eSQLsave kind, tfile* rec, char* buffer);

    // Turns every single quote into a backquote, in place.
    static void text2sql(char* text);
    // Decodes character entities in place. Decoded NUL, CR and LF become "?" so that
    // a value never ends early or splits its statement line.
    static void html2text(char* text);
    // Copies `text` into `out` (`size` characters with the terminator) with each single
    // quote doubled and CR and LF turned into "?". Returns how many characters of
    // `text` were taken; less than its length means the value did not fit.
    static std::size_t quote2sql(const char* text, char* out, std::size_t size);

  private:
    void append(eSQLsave kind, tfile* rec);
    void dispatch(char* line, tfile* rec);
    void fitFileRow(tfile* rec);
    void closeFile(tfile* rec);
    void appendGroup(const char* group, tfile* rec);

    char statement[kStatementSize] = {};
    std::string sql;
};
