// The start-up check of the ".nzb" association, which lets the desktop hand downloaded
// NZB files to the download client.
#pragma once
#include <string>

// The status bar text shown when no usable association could be made.
extern const char* const kNzbNotRegistered;

// Reads the program registered for ".nzb". A working association (its program, looked
// for on PATH when named without "/", is an executable file) is never changed. A missing
// or broken one is replaced by the installed "corvane.desktop" when the desktop finds it
// working, else by the download client at `client` (a full path) when it exists. Returns
// kNzbNotRegistered when still nothing usable is registered, otherwise empty text.
std::string checkNzbAssociation(const std::string& client);
