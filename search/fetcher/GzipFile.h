// Inflates a gzip-compressed response body in-process, with a bound on what comes out:
// a small body must not be able to fill the disk.
#pragma once
#include <string>

enum class TInflate { done, corrupt, tooLarge, cannotWrite };

// Inflates the gzip file `from` into `to` (created or emptied). Stops as soon as more
// than `limit` bytes came out. On anything but `done`, `to` is removed again; `from`
// is never touched.
TInflate inflateGzipFile(const std::string& from, const std::string& to, long long limit);
