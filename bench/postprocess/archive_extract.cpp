// The extraction a user would run by hand, for the post-processing benchmark: every
// volume of one archive set, given first to last, read by libarchive and written into a
// folder with its secure-extraction flags.
//
//   archive_extract FOLDER VOLUME...
#include <archive.h>
#include <archive_entry.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: archive_extract FOLDER VOLUME...\n");
        return 2;
    }
    // Volumes are opened as the reading reaches them, after the move into FOLDER.
    std::vector<std::string> paths;
    for (int i = 2; i < argc; ++i) {
        char* full = realpath(argv[i], nullptr);
        paths.push_back(full ? full : argv[i]);
        free(full);
    }
    std::vector<const char*> volumes;
    for (const std::string& path : paths)
        volumes.push_back(path.c_str());
    volumes.push_back(nullptr);
    if (chdir(argv[1]) != 0) {
        perror(argv[1]);
        return 1;
    }
    archive* reader = archive_read_new();
    archive_read_support_format_all(reader);
    archive* writer = archive_write_disk_new();
    archive_write_disk_set_options(writer, ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                               ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                               ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    if (archive_read_open_filenames(reader, volumes.data(), 64 * 1024) != ARCHIVE_OK) {
        fprintf(stderr, "archive_extract: %s\n", archive_error_string(reader));
        return 1;
    }
    archive_entry* entry;
    int rc = 0;
    while (rc == 0 && archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        if (archive_write_header(writer, entry) != ARCHIVE_OK) rc = 1;
        const void* block;
        size_t size;
        la_int64_t offset;
        int step;
        while (rc == 0 &&
               (step = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK)
            if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) rc = 1;
        if (rc == 0 && step != ARCHIVE_EOF) rc = 1;
        if (archive_write_finish_entry(writer) != ARCHIVE_OK) rc = 1;
    }
    if (rc)
        fprintf(stderr, "archive_extract: %s / %s\n", archive_error_string(reader),
                archive_error_string(writer));
    archive_read_free(reader);
    archive_write_free(writer);
    return rc;
}
