// Archives for the tests, written with libarchive's writer: zip (plain or encrypted) and 7z,
// and with rarmaker: stored RAR4 and RAR5; files, folders and links exactly as given
// (hostile paths included).
#pragma once
#include "RarSetWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <stdexcept>
#include <string>
#include <vector>

struct testEntry {
    enum eType { File, Folder, SymLink }; // neither writer keeps hard links
    std::string path;
    std::string data; // a file's bytes; a link's target
    eType type = File;
};

// Writes `entries` as one RAR archive "<base>.rar" (RAR has no folder entries: folders
// come with the files in them).
inline bool writeTestRar(const std::string& base, RarFormat format,
                         const std::vector<testEntry>& entries) {
    std::vector<RarEntry> rarEntries;
    for (const testEntry& item : entries) {
        if (item.type == testEntry::File) rarEntries.push_back(bytesEntry(item.path, item.data));
        if (item.type == testEntry::SymLink) rarEntries.push_back(linkEntry(item.path, item.data));
    }
    try {
        return writeRarSet(base, rarEntries, {format, 0, RarNaming::part}).size() == 1;
    } catch (const std::exception&) {
        return false;
    }
}

// Writes `entries` to `path` as "zip", "7z", "rar4" or "rar5" (then `path` ends in ".rar");
// `encryption` ("zipcrypt", "aes256") with `password` for zip. False when the writer refuses.
inline bool writeTestArchive(const std::string& path, const std::string& format,
                             const std::vector<testEntry>& entries,
                             const std::string& encryption = "", const std::string& password = "") {
    if (format == "rar4" || format == "rar5")
        return writeTestRar(path.substr(0, path.size() - 4),
                            format == "rar4" ? RarFormat::rar4 : RarFormat::rar5, entries);
    archive* a = archive_write_new();
    bool ok =
        archive_write_set_format_by_name(a, format == "7z" ? "7zip" : format.c_str()) == ARCHIVE_OK;
    if (ok && !encryption.empty())
        ok = archive_write_set_option(a, "zip", "encryption", encryption.c_str()) == ARCHIVE_OK &&
             archive_write_set_passphrase(a, password.c_str()) == ARCHIVE_OK;
    ok = ok && archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
    for (const testEntry& item : entries) {
        if (!ok) break;
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, item.path.c_str());
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (item.type) {
        case testEntry::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, static_cast<la_int64_t>(item.data.size()));
            break;
        case testEntry::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
            break;
        case testEntry::SymLink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_perm(entry, 0777);
            archive_entry_set_symlink_utf8(entry, item.data.c_str());
            break;
        }
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && item.type == testEntry::File && !item.data.empty())
            ok = archive_write_data(a, item.data.data(), item.data.size()) ==
                 static_cast<la_ssize_t>(item.data.size());
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}
