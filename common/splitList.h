// Lists kept in one configuration value, such as "a;b;c;".
#pragma once
#include <string>
#include <vector>

// The parts of `text` between `separator`s, empty parts left out.
std::vector<std::string> splitList(const std::string& text, char separator);
