// Reading and editing the text of freedesktop key files (desktop entries, mimeapps.list)
// so that an edit leaves every other line exactly as it was.
#pragma once
#include <optional>
#include <string>

// The value of the first `key` line in a group named `group`: the text after '=' with the
// blanks around it removed, escapes left as written. Keys and group names are compared
// exactly. nullopt when there is no such line.
std::optional<std::string> keyFileValue(const std::string& text, const std::string& group,
                                        const std::string& key);

// `text` with `key` in `group` set to `value`. The first such line is replaced and later
// ones in groups of that name are dropped (a reader could otherwise take one of them);
// every other line stays byte for byte. A missing key goes after the last entry of the
// first group of that name; a missing group is added at the end.
std::string withKeyFileValue(const std::string& text, const std::string& group,
                             const std::string& key, const std::string& value);
