#include "fileHelpers.h"

#include "articleSchema.h"
#include "profile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int folder_exists(const char* section, const char* key, const char* def, const char*, int create) {
    char path[1024];
    profile::getString(section, key, def, path, sizeof path, CONFIG_INI);
    if (!path[0]) {
        profile::writeString(section, key, def ? def : "", CONFIG_INI);
        profile::getString(section, key, def, path, sizeof path, CONFIG_INI);
    }
    if (file_exists(path) == 0) return 0;
    if (create != 1) return -1;
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

int file_exists(const char* path) {
    return path && access(path, F_OK) == 0 ? 0 : -1;
}

int file_create(const char* path, const char* data, unsigned length) {
    FILE* file = path ? fopen(path, "w") : nullptr;
    if (!file) return -2;
    size_t written = data && length ? fwrite(data, 1, length, file) : 0;
    bool complete = written == length;
    if (fclose(file) != 0) complete = false; // a full disk shows only at the final flush
    return complete ? 0 : -1;
}

void removeM(const char* pattern) {
    if (!pattern) return;
    const char* slash = strrchr(pattern, '/');
    std::string folder(".");
    if (slash) folder.assign(pattern, slash == pattern ? 1 : slash - pattern);
    const char* namePattern = slash ? slash + 1 : pattern;

    int matched = 0;
    int error = ENOENT;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (fnmatch(namePattern, entry->d_name, 0) != 0) continue;
            std::string path = folder + "/" + entry->d_name;
            struct stat info;
            if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            printf("remove: %s \n", path.c_str());
            unlink(path.c_str());
            ++matched;
        }
        closedir(dir);
    } else {
        error = errno;
    }
    if (!matched) printf("dirlist error: %d '%s'\n", error, pattern);
}
