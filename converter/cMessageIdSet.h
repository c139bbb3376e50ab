// The message ids of one file seen so far, so that a repeated one is stored once. Only
// 64-bit hashes are kept: memory stays at 16 bytes per segment of the largest file,
// whatever the length of the ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class cMessageIdSet {
  public:
    cMessageIdSet() { clear(); }

    // Adds `msgid`; false when it was there already.
    bool insert(std::string_view msgid);
    // Forgets every id (the next file begins).
    void clear();

  private:
    void grow();

    std::vector<std::uint64_t> slots; // 0 marks a free slot
    std::size_t count = 0;
};
