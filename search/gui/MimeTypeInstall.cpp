#include "MimeTypeInstall.h"

#include "WholeFile.h"
#include "XdgFolders.h"
#include "childProcess.h"
#include "xmlEscape.h"

#include <dirent.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// The glob lists hold one "weight:type:pattern" (globs2) or "type:pattern" (globs) line
// per pattern.
bool globListDefines(const std::string& path, const std::string& mimeType) {
    std::string text;
    if (readWholeFile(path, text) != 0) return false;
    const std::string field = ":" + mimeType + ":";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = ":" + text.substr(start, end - start);
        if (line.find(field) != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

// Packages not yet compiled into the database (no update-mime-database) count too.
bool packagesDefine(const std::string& folder, const std::string& mimeType) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    const std::string attribute = "type=\"" + mimeType + "\"";
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
        std::string text;
        if (readWholeFile(folder + "/" + name, text) == 0 &&
            text.find(attribute) != std::string::npos) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

void rebuildDatabase(const std::string& mimeFolder) {
    std::string tool = locateProgram("update-mime-database", {});
    if (tool.empty()) {
        printf("CRegistry:: update-mime-database not found, %s not rebuilt\n", mimeFolder.c_str());
        return;
    }
    tchildRun run = runChild({tool, mimeFolder});
    if (run.error != 0 || run.exitCode != 0)
        printf("CRegistry:: update-mime-database %s failed: %d %d\n", mimeFolder.c_str(), run.error,
               run.exitCode);
}

} // namespace

bool mimeTypeKnown(const std::string& mimeType) {
    std::vector<std::string> folders;
    if (!xdgDataHome().empty()) folders.push_back(xdgDataHome());
    for (const std::string& folder : xdgDataDirs())
        folders.push_back(folder);
    for (const std::string& folder : folders) {
        const std::string mime = folder + "/mime";
        if (globListDefines(mime + "/globs2", mimeType) ||
            globListDefines(mime + "/globs", mimeType) ||
            packagesDefine(mime + "/packages", mimeType))
            return true;
    }
    return false;
}

int installMimeType(const std::string& package, const std::string& mimeType,
                    const std::string& pattern, const std::string& comment) {
    const std::string home = xdgDataHome();
    if (home.empty()) return ENOENT;
    const std::string mimeFolder = home + "/mime";
    std::error_code failure;
    std::filesystem::create_directories(mimeFolder + "/packages", failure);
    if (failure) return failure.value();
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" +
        xmlEscaped(mimeType) +
        "\">\n"
        "    <comment>" +
        xmlEscaped(comment) +
        "</comment>\n"
        "    <glob pattern=\"" +
        xmlEscaped(pattern) +
        "\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    int error = writeFileAtomically(mimeFolder + "/packages/" + package + ".xml", xml);
    if (error != 0) return error;
    rebuildDatabase(mimeFolder);
    return 0;
}
