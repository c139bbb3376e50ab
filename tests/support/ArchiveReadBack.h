// Reads a set of volumes back with libarchive, the reader the client unpacks with.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>
#include <vector>

struct ReadEntry {
    std::string name;
    bool isLink = false;
    std::string linkTarget;
    std::string bytes;
};

struct ReadBack {
    std::vector<ReadEntry> entries;
    std::string error; // empty when the whole set read to its end
};

inline ReadBack readBack(const std::vector<std::string>& volumes) {
    ReadBack result;
    std::vector<const char*> names;
    for (const std::string& volume : volumes)
        names.push_back(volume.c_str());
    names.push_back(nullptr);
    archive* reader = archive_read_new();
    archive_read_support_format_rar(reader);
    archive_read_support_format_rar5(reader);
    int status = archive_read_open_filenames(reader, names.data(), 64 * 1024);
    archive_entry* header = nullptr;
    while (status == ARCHIVE_OK &&
           (status = archive_read_next_header(reader, &header)) == ARCHIVE_OK) {
        ReadEntry entry;
        entry.name = archive_entry_pathname(header);
        entry.isLink = archive_entry_filetype(header) == AE_IFLNK;
        if (const char* target = archive_entry_symlink(header)) entry.linkTarget = target;
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        while ((status = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK)
            entry.bytes.append(static_cast<const char*>(block), size);
        if (status == ARCHIVE_EOF) status = ARCHIVE_OK;
        result.entries.push_back(entry);
    }
    if (status != ARCHIVE_EOF) {
        const char* text = archive_error_string(reader);
        result.error = text ? text : "status " + std::to_string(status);
    }
    archive_read_free(reader);
    return result;
}
