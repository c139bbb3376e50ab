#include "cNzbInput.h"

#include <climits>

namespace {

constexpr unsigned kZlibBuffer = 64 * 1024;

} // namespace

cNzbInput::~cNzbInput() {
    if (file) gzclose(file);
}

bool cNzbInput::open(const char* path) {
    file = gzopen(path, "rb");
    if (file) gzbuffer(file, kZlibBuffer);
    return file != nullptr;
}

long cNzbInput::read(char* buffer, std::size_t size) {
    if (tooLarge) return -1;
    int count = gzread(file, buffer, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
    if (count == 0) { // the end, or a compressed stream cut short
        int error = Z_OK;
        gzerror(file, &error);
        return error == Z_OK ? 0 : -1;
    }
    if (count < 0) return -1;
    // A plain file is as large as it is on disk; only unpacking can make a small file huge.
    if (!gzdirect(file)) {
        unpacked += static_cast<std::size_t>(count);
        if (unpacked > kMaxUnpacked) {
            tooLarge = true;
            return -1;
        }
    }
    return count;
}
