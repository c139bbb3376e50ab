#include "cArchiveEntryGuard.h"

#include <deque>
#include <optional>
#include <vector>

namespace {

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = slash + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

// `path` without "." and empty components; nullopt (and `why`) when absolute or with "..".
std::optional<std::string> plainPath(const std::string& path, std::string& why) {
    if (!path.empty() && path[0] == '/') {
        why = "absolute path";
        return std::nullopt;
    }
    std::vector<std::string> parts = components(path);
    for (const std::string& part : parts)
        if (part == "..") {
            why = "\"..\" in the path";
            return std::nullopt;
        }
    return joined(parts, parts.size());
}

} // namespace

std::string shownEntry(const std::string& name) {
    constexpr std::size_t kShown = 80;
    std::string shown = name.substr(0, kShown);
    if (name.size() > kShown) {
        while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xc0) == 0x80)
            shown.pop_back(); // not in the middle of a UTF-8 character
        if (!shown.empty()) shown.pop_back();
        shown += "…";
    }
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return "\"" + shown + "\"";
}

std::string entryReason(const std::string& name, const std::string& why) {
    return shownEntry(name) + ": " + why;
}

std::string cArchiveEntryGuard::check(const std::string& path, eKind kind, const std::string& link,
                                      std::string& plain, std::string& plainLink) {
    std::string why;
    std::optional<std::string> own = plainPath(path, why);
    if (!own) return entryReason(path, why);
    plain = *own;
    if (plain.empty()) return ""; // the top folder: nothing to make
    std::string through = linkOnTheWay(plain);
    if (!through.empty()) return entryReason(path, "goes through the link " + shownEntry(through));

    if (kind == ekHardLink) {
        std::optional<std::string> target = plainPath(link, why);
        if (!target) return entryReason(path, "hard link target: " + why);
        through = linkOnTheWay(*target);
        if (!through.empty())
            return entryReason(path, "hard link through the link " + shownEntry(through));
        plainLink = *target;
    }
    if (kind == ekSymLink) {
        if (link.empty() || link[0] == '/') return entryReason(path, "link to an absolute path");
        std::size_t slash = plain.rfind('/');
        std::string folder = slash == std::string::npos ? "" : plain.substr(0, slash);
        if (!staysInside(folder, link)) return entryReason(path, "link leads outside the folder");
        symlinks[plain] = link;
    }
    return "";
}

std::string cArchiveEntryGuard::checkLinks() const {
    for (const auto& [path, target] : symlinks) {
        std::size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
        if (!staysInside(folder, target)) return entryReason(path, "link leads outside the folder");
    }
    return "";
}

std::string cArchiveEntryGuard::linkOnTheWay(const std::string& plain) const {
    std::vector<std::string> parts = components(plain);
    for (std::size_t count = 1; count <= parts.size(); ++count) {
        std::string prefix = joined(parts, count);
        if (symlinks.count(prefix)) return prefix;
    }
    return "";
}

bool cArchiveEntryGuard::staysInside(const std::string& from, const std::string& target) const {
    // The system gives up after 40 links on one path; so does this walk, as such a
    // path leads nowhere.
    constexpr int kMaxLinks = 40;
    std::vector<std::string> at = components(from);
    std::deque<std::string> ahead;
    for (std::string& part : components(target))
        ahead.push_back(std::move(part));
    int followed = 0;
    while (!ahead.empty()) {
        std::string part = std::move(ahead.front());
        ahead.pop_front();
        if (part == "..") {
            if (at.empty()) return false;
            at.pop_back();
            continue;
        }
        at.push_back(part);
        auto link = symlinks.find(joined(at, at.size()));
        if (link == symlinks.end()) continue;
        if (++followed > kMaxLinks) return true;
        if (link->second.empty() || link->second[0] == '/') return false;
        at.pop_back();
        std::vector<std::string> redirected = components(link->second);
        ahead.insert(ahead.begin(), redirected.begin(), redirected.end());
    }
    return true;
}
