// Text for XML attribute values and element content.
#pragma once
#include <string>

// Replaces &, <, >, " and ' by their entities; every other byte stays as it is.
std::string xmlEscaped(const std::string& text);
