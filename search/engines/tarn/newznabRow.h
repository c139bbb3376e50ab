// Turning one Newznab item into the result row the other engines write.
#pragma once
#include <ctime>

#include "NewznabAnswer.h"
#include "tengine.h"

// Fills the cleared `row` from `item` at the time `now`; false when the item has no id.
// The row's texts point into `item`, which is shortened in place where needed.
bool itemToRow(NewznabItem& item, time_t now, tresult& row);

// An RFC 822 date ("Sun, 06 Dec 2026 10:00:00 +0100", the day name and seconds
// optional, a zone as an offset or "GMT"/"UT"/"Z"); -1 when unreadable.
time_t parseRfc822Date(const char* text);
