#include "databaseFiles.h"

#include <unistd.h>

void removeDatabaseFiles(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((path + suffix).c_str());
}
