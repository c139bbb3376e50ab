#include "par2Repair.h"

#include "childProcess.h"
#include "par2Output.h"
#include "programFolder.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

namespace {

const char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
const char kRecoveryType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0',
                                'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
const size_t kHeaderSize = 64;
// An index of a post with thousands of files has a few packets per file; past this the
// walk stops and the file counts as an index.
const int kMaxPackets = 100000;
const char kLinkFolderPrefix[] = ".par2links-";

enum class par2Kind { None, Index, Volume };

std::string folderOfPath(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOfPath(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool endsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           strcasecmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

bool hasPar2Name(const std::string& path) {
    return endsWithNoCase(path, ".par2");
}

// "x.vol07+08.par2": a recovery volume by its name.
bool hasVolumeName(const std::string& path) {
    if (!hasPar2Name(path)) return false;
    std::string name = nameOfPath(path);
    std::string stem = name.substr(0, name.size() - 5);
    size_t dot = stem.rfind('.');
    if (dot == std::string::npos || strncasecmp(stem.c_str() + dot, ".vol", 4) != 0) return false;
    std::string count = stem.substr(dot + 4);
    size_t plus = count.find('+');
    auto digits = [](const std::string& s) {
        return !s.empty() &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return plus != std::string::npos && digits(count.substr(0, plus)) &&
           digits(count.substr(plus + 1));
}

// Walks the packet headers: a PAR2 file holding a recovery slice is a volume, one
// without is an index.
par2Kind par2KindOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char header[kHeaderSize];
    uint64_t offset = 0;
    for (int packet = 0; packet < kMaxPackets; ++packet) {
        file.seekg((std::streamoff)offset);
        if (!file.read((char*)header, sizeof header) || memcmp(header, kMagic, 8) != 0) break;
        if (memcmp(header + 48, kRecoveryType, 16) == 0) return par2Kind::Volume;
        uint64_t length = 0;
        for (int i = 7; i >= 0; --i)
            length = (length << 8) | header[8 + i];
        if (length < kHeaderSize || length % 4 != 0) break;
        offset += length;
    }
    return offset == 0 ? par2Kind::None : par2Kind::Index;
}

off_t sizeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

// Empties and removes a folder of links (ours: it holds nothing but links).
void removeLinkFolder(const std::string& folder) {
    for (const std::string& name : namesIn(folder)) {
        struct stat info;
        std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) unlink(path.c_str());
    }
    rmdir(folder.c_str());
}

// "name.1", "name.2"…: what par2 keeps of a file it replaces, the file itself being `name`.
std::string backedUpName(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() ||
        name.find_first_not_of("0123456789", dot + 1) != std::string::npos)
        return "";
    return name.substr(0, dot);
}

// The argument vector of one par2 run. Besides `files`, par2 scans the copies an earlier
// repair kept of the files it replaced: a repair killed midway leaves the damaged file's
// blocks only there. par2 takes only files named "*.par2" as PAR2 files, and only files
// inside its base folder, so obfuscated PAR2 files are handed over through links with such
// names, in a folder of our own inside the index's folder; it goes when the run ends (a
// leftover one at the next run).
class par2Arguments {
  public:
    par2Arguments(const std::string& tool, const std::string& index,
                  const std::vector<std::string>& files) {
        std::string folder = folderOfPath(index);
        std::vector<std::string> names;
        for (const std::string& name : namesIn(folder))
            if (name.rfind(kLinkFolderPrefix, 0) == 0)
                removeLinkFolder(folder + "/" + name);
            else
                names.push_back(name);
        std::set<std::string> present(names.begin(), names.end());
        std::set<std::string> given;
        for (const std::string& file : files)
            if (folderOfPath(file) == folder) given.insert(nameOfPath(file));
        arguments = {tool, "r", "-B" + folder, "--", asPar2(index, folder)};
        for (const std::string& file : files)
            if (file != index)
                arguments.push_back(!hasPar2Name(file) && par2KindOf(file) != par2Kind::None
                                        ? asPar2(file, folder)
                                        : file);
        for (const std::string& name : names) {
            std::string original = backedUpName(name);
            if (!original.empty() && present.count(original) && !given.count(name))
                arguments.push_back(folder + "/" + name);
        }
    }
    ~par2Arguments() {
        if (!linkFolder.empty()) removeLinkFolder(linkFolder);
    }
    par2Arguments(const par2Arguments&) = delete;
    par2Arguments& operator=(const par2Arguments&) = delete;

    std::vector<std::string> arguments;

  private:
    std::string asPar2(const std::string& path, const std::string& folder) {
        if (hasPar2Name(path)) return path;
        if (linkFolder.empty()) {
            std::string pattern = folder + "/" + kLinkFolderPrefix + "XXXXXX";
            if (!mkdtemp(pattern.data())) return path;
            linkFolder = pattern;
        }
        std::string link = linkFolder + "/" + std::to_string(++links) + ".par2";
        char* full = realpath(path.c_str(), nullptr);
        bool linked = full && symlink(full, link.c_str()) == 0;
        free(full);
        return linked ? link : path;
    }

    std::string linkFolder;
    int links = 0;
};

// Runs par2's repair and reads what it says; `onLine` sees every line as it comes.
par2Output runPar2(const std::string& tool, const std::string& index,
                   const std::vector<std::string>& files, const std::atomic<bool>* stop,
                   const std::function<void(const par2Output&)>& onLine) {
    par2Output output;
    if (tool.empty()) {
        output.failure = "par2 not found";
        return output;
    }
    par2Arguments call(tool, index, files);
    tchildRun run = runChildLines(
        call.arguments,
        [&](const std::string& line) {
            output.read(line);
            onLine(output);
        },
        // The user waits for the post: par2 gets the share their own run of it would.
        stop, childPriority::Normal);
    output.finish(run);
    return output;
}

// Names in par2's lines are relative to the index's folder; the caller gets its own paths.
std::string callersPath(const std::string& name, const std::vector<std::string>& files) {
    for (const std::string& file : files)
        if (file == name ||
            (file.size() > name.size() &&
             file.compare(file.size() - name.size() - 1, std::string::npos, "/" + name) == 0))
            return file;
    return name;
}

// Once the files hold, par2's copies of files it replaced ("name.N") are redundant: those
// it found holding blocks of `name`, those of a `name` it found damaged, and, when such a
// copy is from before the run, the copy this run made of `name`: that earlier repair wrote
// `name` and, killed, perhaps not one block of it. Any other name.N is something else.
void removeCopies(const std::string& folder, const par2Output& output,
                  const std::set<std::string>& before) {
    std::set<std::string> replaced(output.damagedTargets.begin(), output.damagedTargets.end());
    std::set<std::pair<std::string, std::string>> copies(output.partialCopies.begin(),
                                                         output.partialCopies.end());
    copies.insert(output.matches.begin(), output.matches.end());
    std::set<std::string> rewritten;
    for (const auto& [copy, original] : copies)
        if (before.count(copy) && backedUpName(copy) == original) rewritten.insert(original);
    for (const std::string& name : namesIn(folder)) {
        std::string original = backedUpName(name);
        if (replaced.count(original) || copies.count({name, original}) ||
            (rewritten.count(original) && !before.count(name)))
            unlink((folder + "/" + name).c_str());
    }
}

} // namespace

std::string findPar2Tool() {
    return locateProgram("par2", programFolders());
}

bool isPar2File(const std::string& path) {
    return hasPar2Name(path) || par2KindOf(path) != par2Kind::None;
}

std::string findPar2Index(const std::vector<std::string>& files) {
    for (const std::string& file : files)
        if (hasPar2Name(file) && !hasVolumeName(file) && sizeOf(file) >= 0) return file;
    std::string smallestVolume;
    for (const std::string& file : files) {
        par2Kind kind = par2KindOf(file);
        if (kind == par2Kind::Index) return file;
        if (kind == par2Kind::Volume &&
            (smallestVolume.empty() || sizeOf(file) < sizeOf(smallestVolume)))
            smallestVolume = file;
    }
    return smallestVolume;
}

par2Check par2Repair(const std::string& tool, const std::string& index,
                     const std::vector<std::string>& files,
                     const std::function<void(int)>& progress, const std::atomic<bool>* stop) {
    par2Check check;
    if (index.empty()) {
        check.result = par2Check::NoSet;
        return check;
    }
    const std::string folder = folderOfPath(index);
    const std::vector<std::string> listed = namesIn(folder);
    const std::set<std::string> before(listed.begin(), listed.end());
    int shown = -1;
    par2Output output = runPar2(tool, index, files, stop, [&](const par2Output& now) {
        // par2's threads may print their percents slightly out of order.
        if (now.repairing && now.repairPercent > shown) progress(shown = now.repairPercent);
    });
    if (!output.failure.empty()) {
        check.reason = output.failure;
        return check;
    }
    check.damagedBlocks = output.totalBlocks - output.availableBlocks;
    check.recoveryBlocks = output.recoveryBlocks;
    for (const auto& [found, recorded] : output.matches)
        check.misnamed.emplace_back(callersPath(found, files), recorded);
    if (output.state == par2Output::NotRepairable) {
        check.result = par2Check::NotRepairable;
        return check;
    }
    if (output.state == par2Output::Intact) {
        check.result = par2Check::Intact;
        return check;
    }
    removeCopies(folder, output, before);
    progress(100);
    check.restored = output.missingTargets;
    check.result = par2Check::Repaired;
    return check;
}

std::vector<int> chooseRepairVolumes(const std::vector<std::pair<int, int>>& volumes, int need) {
    std::vector<std::pair<int, int>> usable;
    for (const auto& volume : volumes)
        if (volume.second > 0) usable.push_back(volume);
    std::sort(usable.begin(), usable.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    // The fewest volumes: as many as the largest ones need to reach `need`.
    long long sum = 0;
    size_t count = 0;
    while (count < usable.size() && sum < need)
        sum += usable[count++].second;
    if (need <= 0 || sum < need) return {};

    // Among sets of `count` volumes, the smallest sum that reaches `need`. Leaving out any
    // volume of the best set falls short, so its sum stays below need + its smallest
    // volume: sums up to need + the largest volume are enough. 0/1 knapsack over (volumes
    // used, sum), remembering the first volume that reached each cell; a post has tens of
    // volumes and a few thousand blocks, so the table is small. Past kMaxCells the largest
    // volumes are taken as they are.
    const long long kMaxCells = 8 * 1000 * 1000;
    long long limit = (long long)need + usable[0].second;
    if ((long long)(count + 1) * (limit + 1) > kMaxCells) {
        std::vector<int> ids;
        for (size_t i = 0; i < count; ++i)
            ids.push_back(usable[i].first);
        return ids;
    }
    size_t width = (size_t)limit + 1;
    std::vector<int> firstBy((count + 1) * width, -1);
    const int kStart = (int)usable.size();
    firstBy[0] = kStart;
    for (size_t item = 0; item < usable.size(); ++item) {
        size_t blocks = (size_t)usable[item].second;
        for (size_t used = count; used >= 1; --used)
            for (size_t s = width - 1; s >= blocks; --s)
                if (firstBy[used * width + s] < 0 && firstBy[(used - 1) * width + s - blocks] >= 0)
                    firstBy[used * width + s] = (int)item;
    }
    size_t best = (size_t)need;
    while (firstBy[count * width + best] < 0)
        ++best;
    std::vector<int> ids;
    for (size_t used = count, s = best; used > 0; --used) {
        int item = firstBy[used * width + s];
        ids.push_back(usable[(size_t)item].first);
        s -= (size_t)usable[(size_t)item].second;
    }
    return ids;
}
