// The spool folder of the test news server: one file per article, named by the message
// id without angle brackets, holding headers, empty line and body with CRLF line ends,
// not dot-stuffed and without end marker.
#pragma once
#include <set>
#include <string>

class ArticleSpool {
  public:
    ArticleSpool(std::string folder, std::set<std::string> missing);

    // Whether an id may name a spool file at all: never a path outside the folder.
    static bool isSafeId(const std::string& id);

    // Appends the article `id`, dot-stuffed and ending in CRLF (without the end
    // marker), to `out`; `scratch` is reused for the file contents. False (and `out`
    // unchanged) when the id is unsafe, listed as missing or has no readable file.
    bool appendStuffed(const std::string& id, std::string& out, std::string& scratch) const;

  private:
    std::string folder;
    std::set<std::string> missing;
};
