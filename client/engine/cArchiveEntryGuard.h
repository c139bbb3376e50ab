// The checks every archive entry passes before anything of it is written: its path, a hard
// link's target and a symbolic link's target must stay inside the folder it is extracted
// into, and nothing may be written through a symbolic link an earlier entry made.
#pragma once
#include <string>
#include <unordered_map>

// An entry's name as reasons show it: quoted, control characters as '?', a long name cut
// (names come from the archive and may be anything).
std::string shownEntry(const std::string& name);
// The reason `why` about the entry `name`, one line.
std::string entryReason(const std::string& name, const std::string& why);

class cArchiveEntryGuard {
  public:
    enum eKind { ekFile, ekFolder, ekHardLink, ekSymLink };

    // The entry's path made plain ("a//./b" → "a/b"; "" for the top folder itself) in
    // `plainPath`, and for a hard link its target's in `plainLink`; "" when the entry may
    // be extracted, else the reason, naming the entry.
    std::string check(const std::string& path, eKind kind, const std::string& link,
                      std::string& plainPath, std::string& plainLink);

    // Once every entry is out: a link may have been turned outside by a later link it
    // passes through. "" or the reason, naming the link.
    std::string checkLinks() const;

  private:
    // The entry's path or `link` leads through one of our links: that link, else "".
    std::string linkOnTheWay(const std::string& plain) const;
    // Whether `target`, read from the folder `from`, stays inside when every link of ours
    // on its way is followed as the system would.
    bool staysInside(const std::string& from, const std::string& target) const;

    std::unordered_map<std::string, std::string> symlinks; // plain path → target
};
