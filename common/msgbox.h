// Message boxes. A window library plugs in a real dialog with setHandler; until then
// (and without any display) the text goes to standard error, a Yes/No question is
// asked on the controlling terminal when there is one, and without a terminal an
// information box counts as acknowledged and a question as "No".
#pragma once

namespace msgbox {

// Button and icon flags, and answers, with the classic numeric values.
enum : unsigned {
    OK = 0x0,
    YESNO = 0x4,
    ICONERROR = 0x10,
    ICONQUESTION = 0x20,
    ICONWARNING = 0x30,
    ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDYES = 6, IDNO = 7 };

using Handler = int (*)(const char* text, const char* title, unsigned flags);

// Shows the box and returns IDOK, IDYES or IDNO.
int show(const char* text, const char* title, unsigned flags);

// Replaces the way boxes are shown; null restores the console fallback.
void setHandler(Handler handler);

} // namespace msgbox
