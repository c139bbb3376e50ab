// findArchiveSets: volumes are grouped by their names where the names follow one of the
// usual volume schemes, and by their first bytes where they do not.
#include "archiveUnpack.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

namespace {

struct volumeName {
    std::string kind;
    std::string group;     // volumes of one set share it
    long long number;      // their order within the set; -1 for a ".rar" before its ".r00"
    bool afterRar = false; // a ".r00"-style name: a set only with its ".rar"
};

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// How the name places `path` in a set; nullopt when the name says nothing.
std::optional<volumeName> volumeByName(const std::string& path) {
    static const std::regex partRar(R"((.+)\.part(\d{1,6})\.rar)", std::regex::icase);
    static const std::regex split(R"((.+)\.(7z|zip|rar)\.(\d{3,6}))", std::regex::icase);
    static const std::regex rar(R"((.+)\.rar)", std::regex::icase);
    // ".r00" … ".r99", then ".s00" …: the volumes after a ".rar"
    static const std::regex rarNext(R"((.+)\.([r-z])(\d\d))", std::regex::icase);
    static const std::regex single(R"((.+)\.(7z|zip))", std::regex::icase);

    std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    auto group = [&](const std::string& stem, const char* scheme) {
        return folder + '\0' + lowered(stem) + '\0' + scheme;
    };
    std::smatch m;
    if (std::regex_match(name, m, partRar))
        return volumeName{"rar", group(m[1], "part"), std::stoll(m[2])};
    if (std::regex_match(name, m, split)) {
        std::string kind = lowered(m[2]);
        return volumeName{kind, group(m[1], ("split-" + kind).c_str()), std::stoll(m[3])};
    }
    if (std::regex_match(name, m, rar)) return volumeName{"rar", group(m[1], "rar"), -1};
    if (std::regex_match(name, m, rarNext)) {
        long long series = std::tolower(static_cast<unsigned char>(m.str(2)[0])) - 'r';
        return volumeName{"rar", group(m[1], "rar"), series * 100 + std::stoll(m[3]), true};
    }
    if (std::regex_match(name, m, single)) return volumeName{lowered(m[2]), path, 0};
    return std::nullopt;
}

// A RAR "vint": 7 bits a byte, lowest first; false when it runs past `end`.
bool readVint(const unsigned char*& at, const unsigned char* end, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; at < end && shift < 64; shift += 7) {
        unsigned char byte = *at++;
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if (!(byte & 0x80)) return true;
    }
    return false;
}

// A RAR volume after the first cannot be unpacked on its own: its main header says so.
bool rar4LaterVolume(const unsigned char* head, std::size_t size) {
    if (size < 12 || head[9] != 0x73) return false;
    unsigned flags = head[10] | (head[11] << 8);
    return (flags & 0x0001) && !(flags & 0x0100); // a volume, not the first one
}

bool rar5LaterVolume(const unsigned char* head, std::size_t size) {
    const unsigned char* at = head + 12; // signature and header CRC
    const unsigned char* end = head + size;
    std::uint64_t headerSize, type, headerFlags, extraSize = 0, archiveFlags;
    if (!readVint(at, end, headerSize) || !readVint(at, end, type) || type != 1 ||
        !readVint(at, end, headerFlags))
        return false;
    if ((headerFlags & 0x0001) && !readVint(at, end, extraSize)) return false;
    return readVint(at, end, archiveFlags) && (archiveFlags & 0x0002); // has a volume number
}

// The kind `path` is by its first bytes; "" for none and for a later RAR volume.
std::string kindBySignature(const std::string& path) {
    unsigned char head[64] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const std::size_t size = static_cast<std::size_t>(in.gcount());
    auto startsWith = [&](const char* signature, std::size_t length) {
        return size >= length &&
               std::equal(head, head + length, reinterpret_cast<const unsigned char*>(signature));
    };
    if (startsWith("7z\xbc\xaf\x27\x1c", 6)) return "7z";
    if (startsWith("PK\x03\x04", 4)) return "zip";
    if (startsWith("Rar!\x1a\x07\x01\x00", 8)) return rar5LaterVolume(head, size) ? "" : "rar";
    if (startsWith("Rar!\x1a\x07\x00", 7)) return rar4LaterVolume(head, size) ? "" : "rar";
    return "";
}

bool isPar2(const std::string& path) {
    return path.size() >= 5 && lowered(path.substr(path.size() - 5)) == ".par2";
}

} // namespace

std::vector<archiveSet> findArchiveSets(const std::vector<std::string>& files) {
    struct group {
        std::string kind;
        std::vector<std::pair<long long, std::string>> volumes;
        bool hasRarFirst = false;
        bool afterRar = false;
    };
    std::map<std::string, group> groups;
    for (const std::string& path : files) {
        std::optional<volumeName> name = volumeByName(path);
        if (!name && !isPar2(path)) {
            std::string kind = kindBySignature(path);
            if (!kind.empty()) name = volumeName{kind, path, 0};
        }
        if (!name) continue;
        group& g = groups[name->group];
        g.kind = name->kind;
        g.volumes.emplace_back(name->number, path);
        g.hasRarFirst = g.hasRarFirst || name->number == -1;
        g.afterRar = g.afterRar || name->afterRar;
    }

    std::vector<archiveSet> sets;
    for (auto& [key, g] : groups) {
        // without its ".rar", a ".s01" may be anything (a season, say)
        if (g.afterRar && !g.hasRarFirst) continue;
        std::sort(g.volumes.begin(), g.volumes.end());
        archiveSet set{g.kind, {}};
        for (auto& volume : g.volumes)
            set.volumes.push_back(volume.second);
        sets.push_back(std::move(set));
    }
    std::sort(sets.begin(), sets.end(), [](const archiveSet& a, const archiveSet& b) {
        return a.volumes.front() < b.volumes.front();
    });
    return sets;
}
