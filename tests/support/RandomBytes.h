// Reproducible random file contents for tests: every byte value, from a fixed seed.
#pragma once
#include <random>
#include <string>

inline std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = (char)(random() & 0xff);
    return bytes;
}
