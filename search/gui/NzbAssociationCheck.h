// The start-up check of the ".nzb" association, which lets the desktop hand downloaded
// NZB files to the download client.
#pragma once
#include <string>

// The status bar text shown when no usable association could be made.
extern const char* const kNzbNotRegistered;

// Reads the program registered for ".nzb". When there is none, or no file exists at its
// path, and the download client "./corvane" lies in the current folder, registers that
// client by its full path and reads again. An association to an existing program is
// never changed. Returns kNzbNotRegistered when still nothing usable is registered,
// otherwise empty text.
std::string checkNzbAssociation();
