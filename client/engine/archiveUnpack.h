// Unpacking a post's archives: which of its files form archive sets, and the safe
// extraction of one set into the post's folder with libarchive.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct archiveSet {
    std::string kind;                 // "rar", "7z" or "zip"
    std::vector<std::string> volumes; // paths, first volume first
};
// The archive sets among `files` (paths of one post's files): RAR by ".partNN.rar" and by
// ".rar"+".r00", ".r01"… naming (RAR4 and RAR5), 7z (also ".7z.001" splits), zip; files whose
// names say nothing (obfuscated) are recognised by their first bytes. A volume belongs to one set.
std::vector<archiveSet> findArchiveSets(const std::vector<std::string>& files);

struct unpackResult {
    bool ok = false;
    bool passwordNeeded = false; // encrypted and no (or a wrong) password: reason "password needed"
    std::string reason;          // why it failed, one line, for the log and the post pane
    std::vector<std::string> written; // paths of what it put into the target folder
};
// Extracts `set` into `target` (made if missing). Entries are first extracted into a staging
// folder of its own inside `target` (a leftover one from a killed run is removed first), then
// moved into `target`; a name that exists there already gets a free name, so nothing it did
// not write is ever overwritten. Refuses absolute paths, "..", and links leading outside (the
// whole set fails, nothing outside `target` is touched). `progress` gets 0..100 over the bytes
// of all volumes; `stop` set ends it early with reason "stopped".
// One unpack at a time in the process: the staging folder's name is fixed, and libarchive's
// disk writer sets the process umask to 0 for a moment at each entry (two at once can leave
// it there).
unpackResult unpackArchive(const archiveSet& set, const std::string& target,
                           const std::string& password, const std::function<void(int)>& progress,
                           const std::atomic<bool>* stop);
