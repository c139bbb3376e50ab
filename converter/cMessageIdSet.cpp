#include "cMessageIdSet.h"

#include <algorithm>
#include <functional>

namespace {

constexpr std::size_t kInitialSlots = 1024; // a power of two

} // namespace

bool cMessageIdSet::insert(std::string_view msgid) {
    std::uint64_t hash = std::hash<std::string_view>{}(msgid);
    hash = hash ? hash : 1;
    std::size_t mask = slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots[slot] == hash) return false;
        if (slots[slot] == 0) {
            slots[slot] = hash;
            break;
        }
    }
    if (++count * 2 > slots.size()) grow();
    return true;
}

void cMessageIdSet::grow() {
    std::vector<std::uint64_t> old(slots.size() * 2, 0);
    old.swap(slots);
    std::size_t mask = slots.size() - 1;
    for (std::uint64_t hash : old) {
        if (hash == 0) continue;
        std::size_t slot = hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = hash;
    }
}

void cMessageIdSet::clear() {
    // A table grown by one large file is given back rather than wiped for every small
    // file after it.
    if (slots.size() != kInitialSlots)
        std::vector<std::uint64_t>(kInitialSlots, 0).swap(slots);
    else
        std::fill(slots.begin(), slots.end(), 0);
    count = 0;
}
