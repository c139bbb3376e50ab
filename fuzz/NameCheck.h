// The one property every decoded file name must have, whatever the article said.
#pragma once
#include <string>

// Fails the run unless `name` names an entry inside the output folder itself: not empty,
// not "." or "..", no "/" and no NUL, at most 255 bytes.
void checkStaysInFolder(const std::string& name, const std::string& from);
