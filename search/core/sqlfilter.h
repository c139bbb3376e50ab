// The filter language of the result list, translated into SQL conditions.
//
// Words separated by spaces must all hold. A word starting with "<", "=" or ">" compares
// with that operator; "!" negates; "[...]" is a raw SQL fragment for the column. Number
// columns compare numerically (a word that is not a number is left out), text columns
// match the word anywhere (LIKE '%word%').
#pragma once
#include <string>

// Writes the condition for `filter` on `column` (of tColumn type `type`) into `out`.
// Every condition ends with one space and words are joined with "AND "; a word that
// yields no condition is left out, so `out` holds either nothing or a complete condition.
// Apostrophes in text words are doubled so they cannot end the SQL literal.
void sqlfilter(std::string& out, const char* column, const char* filter, int type);
