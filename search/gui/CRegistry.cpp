#include "CRegistry.h"

#include "DesktopEntry.h"
#include "KeyFileText.h"
#include "MimeTypeInstall.h"
#include "WholeFile.h"
#include "XdgFolders.h"
#include "splitList.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const kDefaultsGroup = "Default Applications";

// ".nzb" is "application/x-nzb"; any other extension of letters and digits gets an
// "application/x-" type of its own. Anything else names no type: empty.
std::string mimeTypeOf(const char* extension) {
    if (!extension || extension[0] != '.' || extension[1] == '\0') return "";
    std::string name;
    for (const char* c = extension + 1; *c; ++c) {
        if (!isalnum((unsigned char)*c)) return "";
        name += (char)tolower((unsigned char)*c);
    }
    return "application/x-" + name;
}

// The type name is the program's file name; as a desktop entry name it keeps letters,
// digits, '.', '-' and '_' and turns anything else into '_'.
std::string desktopIdOf(const std::string& program) {
    std::string name = program.substr(program.rfind('/') + 1);
    for (char& c : name)
        if (!isalnum((unsigned char)c) && c != '.' && c != '-' && c != '_') c = '_';
    return name.empty() ? "" : name + ".desktop";
}

// The mimeapps.list files in the order they are consulted: per folder, the
// desktop-specific lists before the common one.
std::vector<std::string> mimeappsLists() {
    std::vector<std::string> folders;
    if (!xdgConfigHome().empty()) folders.push_back(xdgConfigHome());
    for (const std::string& folder : xdgConfigDirs())
        folders.push_back(folder);
    if (!xdgDataHome().empty()) folders.push_back(xdgDataHome() + "/applications");
    for (const std::string& folder : xdgDataDirs())
        folders.push_back(folder + "/applications");
    std::vector<std::string> lists;
    for (const std::string& folder : folders) {
        for (const std::string& desktop : xdgCurrentDesktops())
            lists.push_back(folder + "/" + desktop + "-mimeapps.list");
        lists.push_back(folder + "/mimeapps.list");
    }
    return lists;
}

// The installed desktop entry of that id: the user's applications folder first.
std::string desktopEntryPath(const std::string& id) {
    if (id.empty() || id.find('/') != std::string::npos || id == "." || id == "..") return "";
    std::vector<std::string> folders;
    if (!xdgDataHome().empty()) folders.push_back(xdgDataHome());
    for (const std::string& folder : xdgDataDirs())
        folders.push_back(folder);
    for (const std::string& folder : folders) {
        std::string path = folder + "/applications/" + id;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) return path;
    }
    return "";
}

// The desktop entry that is the default for the type: the first installed one named in
// the first list that names the type at all.
std::string defaultEntry(const std::string& mimeType) {
    for (const std::string& list : mimeappsLists()) {
        std::string text;
        if (readWholeFile(list, text) != 0) continue;
        for (const std::string& id :
             splitList(keyFileValue(text, kDefaultsGroup, mimeType).value_or(""), ';')) {
            std::string path = desktopEntryPath(id);
            if (!path.empty()) return path;
        }
    }
    return "";
}

int writeDesktopEntry(const std::string& id, const std::string& program,
                      const std::string& mimeType) {
    const std::string folder = xdgDataHome() + "/applications";
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) return failure.value();
    std::string name = program.substr(program.rfind('/') + 1);
    return writeFileAtomically(folder + "/" + id, desktopEntryText(name, program, mimeType));
}

int writeDefault(const std::string& id, const std::string& mimeType) {
    const std::string folder = xdgConfigHome();
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) return failure.value();
    const std::string list = folder + "/mimeapps.list";
    std::string text;
    int error = readWholeFile(list, text);
    // A list that exists but cannot be read is never replaced by one holding only ours.
    if (error != 0 && error != ENOENT) return error;
    return writeFileAtomically(list, withKeyFileValue(text, kDefaultsGroup, mimeType, id));
}

} // namespace

void CRegistry::GetFileAssociation(char* program, char* extension) {
    if (!program) return;
    program[0] = '\0';
    const std::string mimeType = mimeTypeOf(extension);
    if (mimeType.empty() || xdgDataHome().empty()) return;
    const std::string entry = defaultEntry(mimeType);
    std::string text;
    if (entry.empty() || readWholeFile(entry, text) != 0) return;
    std::string path = programFromExec(execValueOf(text));
    snprintf(program, kProgramSize, "%s", path.c_str());
}

int CRegistry::SetFileAssociationToEntry(const char* desktopId, char* extension) {
    const std::string mimeType = mimeTypeOf(extension);
    const std::string entry = desktopEntryPath(desktopId ? desktopId : "");
    std::string text;
    if (mimeType.empty() || entry.empty() || xdgConfigHome().empty() ||
        readWholeFile(entry, text) != 0 ||
        programOnDisk(programFromExec(execValueOf(text))).empty())
        return -1;
    if (int error = writeDefault(desktopId, mimeType)) {
        printf("CRegistry:: cannot register %s for %s: %s\n", desktopId, extension,
               strerror(error));
        return -1;
    }
    return 0;
}

int CRegistry::SetFileAssociation(char* program, char* extension) {
    const std::string mimeType = mimeTypeOf(extension);
    const std::string path = program ? program : "";
    const std::string id = desktopIdOf(path);
    if (mimeType.empty() || id.empty() || xdgDataHome().empty() || xdgConfigHome().empty()) {
        printf("CRegistry:: cannot register %s for %s\n", path.c_str(), extension ? extension : "");
        return -1;
    }
    int error = writeDesktopEntry(id, path, mimeType);
    if (error == 0 && !mimeTypeKnown(mimeType)) {
        std::string upper = extension + 1;
        for (char& c : upper)
            c = (char)toupper((unsigned char)c);
        error = installMimeType(id.substr(0, id.size() - 8) + "-" + (extension + 1), mimeType,
                                std::string("*") + extension, upper + " file");
    }
    if (error == 0) error = writeDefault(id, mimeType);
    if (error != 0) {
        printf("CRegistry:: cannot register %s for %s: %s\n", path.c_str(), extension,
               strerror(error));
        return -1;
    }
    return 0;
}
