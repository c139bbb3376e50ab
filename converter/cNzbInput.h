// The bytes of an NZB file, plain or gzip-compressed: gzip is recognised by its first
// bytes whatever the file is called, and read through zlib.
#pragma once

#include <cstddef>
#include <zlib.h>

class cNzbInput {
  public:
    // More unpacked than this is taken as a decompression bomb, not an NZB.
    static constexpr std::size_t kMaxUnpacked = std::size_t{256} << 20;

    cNzbInput() = default;
    cNzbInput(const cNzbInput&) = delete;
    cNzbInput& operator=(const cNzbInput&) = delete;
    ~cNzbInput();

    // False when the file cannot be opened.
    bool open(const char* path);
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 when the file cannot
    // be read (damaged, a folder) or unpacks to more than kMaxUnpacked.
    long read(char* buffer, std::size_t size);
    // The last read failed because of kMaxUnpacked.
    bool overCap() const { return tooLarge; }

  private:
    gzFile file = nullptr;
    std::size_t unpacked = 0;
    bool tooLarge = false;
};
