// In-place text routines shared by the engine host and every engine plug-in: cutting
// fields out of a page, cleaning them, URL escapes, SQL literals and the result row
// builder. Texts are zero-terminated UTF-8 strings; no routine lengthens a text in
// place.
#pragma once
#include <string>

#include "tengine.h"

// Cuts the field between `start` and `end` out of `text`: `field` points at it and the
// first byte of `end` is overwritten with a zero, then the field is cleaned by `mode`
// (0 none, 1 skip blanks + entities + tags, 2 entities + tags, 3 URL escapes,
// 4 skip blanks + tags + newsgroup shortening, 5 tags + newsgroup shortening).
// A null `start` starts at `text`, a null `end` runs to the end. An empty field leaves
// `field` and the text untouched. Returns the cursor behind `end`, or null when `text`
// is null or a marker is missing, so a chain of calls stops at the first gap.
char* strExtract(char* text, const char* start, const char* end, char*& field, int mode);

// Every apostrophe becomes a backquote, so the text fits a quoted SQL literal.
char* tosql(char* s);
// First byte that is not blank: bytes 1..32 and the no-break space count as blank. `s`
// non-null.
char* stripwhitespace(char* s);
// Every `find` becomes `repl`, which must not be longer than `find`.
void replacetext(char* s, const char* find, const char* repl);
// Removes tags; "<br>" (any case) becomes one space. Returns the remaining length.
int striptags(char* s);
// Decodes %XX escapes and turns "+" into a space; a cut-off escape ends the text.
void url2text(char* s);
// Decodes character entities, each to the UTF-8 form of its character ("?" for a code
// beyond U+10FFFF or a surrogate); a decoded zero ends the text. Returns the length.
int html2text(char* s);
// URL-encodes `in` into `out`, which needs room for 3 bytes per input byte plus one. The
// bytes of UTF-8 characters are escaped each, as sites expect words in UTF-8.
// Returns `out`, or null (with `out` untouched) when `in` is null.
char* text2url(char* out, const char* in);

// Appends one result row to `sql`: number 0 starts the transaction, 1, 2, ... follow,
// -1 closes it. Texts are escaped for their SQL literals and the row is shortened to
// the row limit, longest texts first. The time stamp is relative to 23:59:59 local of
// the day of the first call since the module was loaded.
void concatresult(int number, tresult& row, std::string& sql, const char* engine);

// Longest row line, in bytes, including its line feed.
inline constexpr size_t kResultRowLimit = 1023;
