// Asking the update web host whether a newer version exists.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

// GETs `url` ("http://host[:port]/path"). 1 when the body begins with a decimal number
// (then up to `size` characters of it are copied into `reply`, zero-terminated), 0 when
// not; -1 for a URL without '/', -2 for one without a path.
int updatecheck(const char* url, const char* extra, char* reply, size_t size);

// The control command "h": reads the update host from ./config.ini (DEFAULT, updatehost;
// none means no check), asks it, and on an update offers to open the download page,
// which `open` opens (the desktop opener when not given).
void runupdate(const std::function<void(const std::string& url)>& open = {});
