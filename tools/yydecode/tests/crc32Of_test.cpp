// The folding CRC-32 against zlib's table one, at every length around the block sizes.
#include "crc32Of.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(Crc32Of, MatchesZlibAtEveryLengthAndAlignment) {
    std::mt19937 random(9);
    std::vector<unsigned char> data(1 << 20);
    for (unsigned char& byte : data)
        byte = static_cast<unsigned char>(random());
    for (std::size_t offset : {0u, 1u, 7u, 15u})
        for (std::size_t size = 0; size < 1100; ++size) {
            uLong expected = crc32(0L, data.data() + offset, static_cast<uInt>(size));
            ASSERT_EQ(crc32Of(data.data() + offset, size), expected)
                << "size " << size << " offset " << offset;
        }
    EXPECT_EQ(crc32Of(data.data(), data.size()),
              crc32(0L, data.data(), static_cast<uInt>(data.size())));
    const unsigned char text[] = "123456789";
    EXPECT_EQ(crc32Of(text, 9), 0xcbf43926u); // the standard check value
}
