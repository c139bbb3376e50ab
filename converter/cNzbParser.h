// The NZB scanner: reads an NZB element by element, in any layout, and writes the import
// script for the article database, one statement per line, as it goes. Texts are UTF-8.
#pragma once

#include "cMessageIdSet.h"
#include "cNzbPassword.h"

#include <cstddef>
#include <cstdio>
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
    sqlPassword = 9,
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
    // What one import may hold; a larger NZB is refused whole, so that no NZB can fill
    // the memory or the disk.
    static constexpr long kMaxFiles = 100000;
    static constexpr long kMaxSegments = 3000000;
    struct tlimits {
        long files = kMaxFiles;
        long segments = kMaxSegments;
    };

    // Parse state of one import. Text pointers refer into the current element. Every
    // text that reaches a statement is already safe inside single quotes.
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
        const char* bytes = nullptr;
        const char* number = nullptr;
        int segposition = 0; // segment elements of the current file so far
        char position[12] = {};
        const char* msgid = nullptr;
        char quotedDesc[kQuotedSize] = {};
        char quotedMsgid[kQuotedSize] = {};
        char quotedPassword[kQuotedSize] = {};
    };

    tlimits limits;

    // Converts `nzb` into the script file `script`; see quillmap(). When no script
    // results, failureText() says why.
    void parseNZB(const char* nzb, const char* script, long postBase, long fileBase);
    // The one log line that says why the last parseNZB left no script; empty when it
    // left one.
    const std::string& failureText() const { return failure; }

    // One element each; `text` points just after the element's "<".
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
    // Decodes character references in place, each to the UTF-8 form of its character.
    // References to control characters (NUL, CR, LF ...) or to no character become "?"
    // so that a value never ends early or splits its statement line. "&apos;" becomes
    // `apostrophe`: a backquote where the text goes into a statement as it stands, the
    // apostrophe itself where the value is quoted (doubled) before.
    static void html2text(char* text, char apostrophe = '`');
    // Copies `text` into `out` (`size` characters with the terminator) with each single
    // quote doubled and CR and LF turned into "?". Returns how many bytes of `text` were
    // taken, always whole characters; less than its length means the value did not fit.
    static std::size_t quote2sql(const char* text, char* out, std::size_t size);

  private:
    // What one import has written so far.
    struct tcounts {
        long files = 0;
        long segments = 0;
        long filesWithSegments = 0;
        long unsized = 0;    // kept with 0 bytes
        long unnumbered = 0; // numbered by their place in the file
    };

    void append(eSQLsave kind, tfile* rec);
    void fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void dispatch(char* element, tfile* rec);
    void fitFileRow(tfile* rec);
    void closeFile(tfile* rec);
    void appendGroup(const char* group, tfile* rec);
    void storePassword(const std::string& fromName, tfile* rec);

    char statement[kStatementSize] = {};
    std::FILE* out = nullptr;
    const char* nzbPath = "";
    tcounts counts;
    cMessageIdSet msgids;
    cPasswordMeta passwordMeta;
    std::string failure;
};
