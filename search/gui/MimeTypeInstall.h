// The MIME type of a file name pattern in the shared MIME database: whether the system
// knows it, and installing it for the user when it does not.
#pragma once
#include <string>

// True when a MIME database or package of the user's or the system's data folders
// defines `mimeType`.
bool mimeTypeKnown(const std::string& mimeType);

// Installs a package "<package>.xml" that gives files matching `pattern` the type
// `mimeType`, described as `comment`, into the user's MIME folder, then rebuilds the user's MIME
// database with update-mime-database when that tool exists. Returns 0, or the errno of a failed
// write.
int installMimeType(const std::string& package, const std::string& mimeType,
                    const std::string& pattern, const std::string& comment);
