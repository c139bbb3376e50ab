// The contract between the engine host, the engine plug-ins and the results database:
// the site configuration, one request, one parsed result row, and the two functions
// every plug-in exports.
#pragma once
#include <cstdint>
#include <string>

// One site's configuration. The host clears it and writes `library`, and `name` when the
// engine is a section of cfg/engines.ini that names its plug-in (one plug-in file can
// then serve several such engines); the plug-in's readconfig fills the rest. Every
// text is zero-terminated inside its array.
struct tengine {
    char library[64];    // plug-in file name the host loaded, e.g. "lumo.so"
    int32_t limit;       // rows per page; the offset step of kParseHasMoreRows
    int32_t index;       // 1..15, 0 marks an unusable engine; selects the idlast slot
    char code[8];        // short code ("lumo"), names the response files
    char name[32];       // service name, written into every row's engine column
    char host[48];       // web host, may carry ":port"; routes responses back
    char searchurl[128]; // keyword search path template
    char browseurl[128]; // newsgroup browse path template, empty without browse mode
    char nzburl[128];    // path of the NZB creation request, or kLinkPlaceholder
    char nzbpost[64];    // start of the NZB request's form body
    char nzbitem[64];    // one selected result: "%s" (id), optionally "%d" (item number) first
    char cookie[256];    // cookie header text, empty for none
};

// One search, browse or NZB request as the coordinator builds it.
struct tsearch {
    int32_t page = 1;
    std::string keyword;  // search words; for an NZB request the NZB file's name
    std::string group;    // newsgroup to browse or restrict to
    std::string category; // site category; left empty by the coordinator
    int32_t reserved = 0;
    int32_t reservedslots[16] = {};
    int32_t idlast[16] = {}; // per-engine slot indexed by tengine::index
    std::string link;        // the NZB address a result row stored (kLinkPlaceholder)
};

// nzburl of an engine whose rows keep the address of their NZB in the file name column:
// each NZB is fetched with a GET of that address, one request per result.
inline constexpr const char* kLinkPlaceholder = "$link$";

// One result while a plug-in parses a page. The texts point into the page buffer, which
// the parser cuts in place; null means the field was not found.
struct tresult {
    char* extra;     // left-over text of the subject cell, not stored
    char* result_id; // the site's id, must start with a decimal number (yabsearch: colid<n>)
    char* subject;
    char* newsgroup; // "alt.binaries." already shortened to "a.b."
    char* category;
    char* poster;
    char* agetext; // age or date as the site shows it
    char* filename;
    char* sizetext;    // size as the site shows it
    char* parts_total; // null is stored as "1"
    char* parts_avail; // null is stored as "1"
    int32_t age;       // whole days
    int32_t size;      // whole megabytes
    int32_t pct;       // 0..100
};

// The two plug-in entry points. They are looked up by these exact symbol names, which
// are pinned with asm labels so that they do not depend on the compiler's mangling of
// std::string.
using readconfig_t = int (*)(tengine& engine);
using parseresult_t = int (*)(char* page, int length, std::string& sql);

inline constexpr const char* kReadconfigSymbol = "_Z10readconfigR7tengine";
inline constexpr const char* kParseresultSymbol = "_Z11parseresultPciRSs";

// Results of parseresult: `sql` holds a transaction with at least one row; the same,
// and the next page (offset advanced by tengine::limit) may hold more; the page is an
// error answer or unreadable, and `sql` holds one line saying why.
inline constexpr int kParseHasRows = 2;
inline constexpr int kParseHasMoreRows = 4;
inline constexpr int kParseRefused = 1;

// Declarations for the plug-ins that define them. readconfig fills `engine`.
// parseresult gets the engine's name in `sql` (a plug-in for one site may ignore it),
// empties `sql`, may cut the writable, zero-terminated `page` in place and returns one
// of the results above, or 0 when the page holds no row.
extern "C" {
__attribute__((visibility("default"))) int
readconfig(tengine& engine) asm("_Z10readconfigR7tengine");
__attribute__((visibility("default"))) int
parseresult(char* page, int length, std::string& sql) asm("_Z11parseresultPciRSs");
}
