// The block variants of the body decoder against the byte-at-a-time one, and encoded
// data back to the original.
#include "YencBodyDecoder.h"
#include "YencEncoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Decode = std::size_t (*)(const unsigned char*, std::size_t, unsigned char*);

struct Variant {
    const char* name;
    Decode decode;
    bool available;
};

std::vector<Variant> variants() {
    return {{"sse2", decodeYencBodySse2, true},
            {"ssse3", decodeYencBodySsse3, hasSsse3()},
            {"avx2", decodeYencBodyAvx2, hasAvx2()},
            {"chosen", decodeYencBody, true}};
}

std::string decodeWith(Decode decode, const std::string& body) {
    std::vector<unsigned char> out(body.size() + kDecodeSlack);
    std::size_t size =
        decode(reinterpret_cast<const unsigned char*>(body.data()), body.size(), out.data());
    return std::string(reinterpret_cast<const char*>(out.data()), size);
}

std::string scalar(const std::string& body) {
    return decodeWith(decodeYencBodyScalar, body);
}

// Every variant must agree with the scalar decoder on `body`.
void expectVariantsAgree(const std::string& body, const std::string& label) {
    std::string expected = scalar(body);
    for (const Variant& variant : variants()) {
        if (!variant.available) continue;
        EXPECT_EQ(decodeWith(variant.decode, body), expected) << variant.name << ": " << label;
    }
}

std::string bytes(std::size_t size, std::mt19937& random) {
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(random() & 0xff);
    return data;
}

} // namespace

TEST(YencBodyDecoder, ScalarRulesForEscapesAndLineEnds) {
    struct Row {
        std::string body;
        std::string decoded;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"k", "A"},                   // 'k' - 42
        {"=}", std::string(1, 0x13)}, // escaped '=' source byte
        {"=@", std::string(1, '\xd6')},
        {"k\r\nk\nk\r", "AAA"}, // CR and LF vanish wherever they stand
        {"k=", "A"},            // a lone '=' at the end is dropped
        {"k=\r\nk", "AA"},      // an '=' before a line end is dropped, the line end too
        {"==k", std::string(1, static_cast<char>('=' - 106)) + "A"}, // "==" escapes a '='
    };
    for (const Row& row : rows)
        EXPECT_EQ(scalar(row.body), row.decoded) << row.body;
}

TEST(YencBodyDecoder, BlockVariantsMatchScalarAtEveryAwkwardPosition) {
    // An escape or line end placed at each position around the 16- and 32-byte block
    // edges, and runs of escapes and of '=' right before specials.
    const std::vector<std::string> inserts = {
        "=}", "\r\n", "\n", "=\r\n", "==", "===}", "=", "=@=J=M", "\r", "=\n"};
    for (const std::string& insert : inserts)
        for (std::size_t at = 0; at < 70; ++at) {
            std::string body(100, 'k');
            body.insert(at, insert);
            expectVariantsAgree(body, "insert at " + std::to_string(at));
            expectVariantsAgree(body.substr(0, at + insert.size()), "cut after insert");
        }
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        // Heavy in specials so that almost every block has some.
        std::string body = bytes(1 + random() % 400, random);
        for (char& c : body)
            if (random() % 4 == 0) c = "=\r\n=}"[random() % 5];
        expectVariantsAgree(body, "random round " + std::to_string(round));
    }
}

TEST(YencBodyDecoder, EncodedDataDecodesToTheOriginal) {
    std::mt19937 random(11);
    for (int lineLength : {2, 3, 16, 31, 32, 33, 128, 997})
        for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 255u, 256u, 4097u, 70000u}) {
            std::string data = bytes(size, random);
            // Every byte value, and bytes that encode to '.', TAB and space, often.
            for (std::size_t i = 0; i < size; ++i) {
                if (i < 256)
                    data[i] = static_cast<char>(i);
                else if (i % 7 == 0)
                    data[i] = "\x04\xdf\xf6"[i % 3];
            }
            std::string body;
            encodeYencLines(reinterpret_cast<const unsigned char*>(data.data()), size, lineLength,
                            body);
            for (const Variant& variant : variants()) {
                if (!variant.available) continue;
                EXPECT_EQ(decodeWith(variant.decode, body), data)
                    << variant.name << " line " << lineLength << " size " << size;
            }
        }
}

TEST(YencEncoder, LinesKeepTheirLengthAndEscapeOnlyWhatTheyMust) {
    std::string data;
    for (int round = 0; round < 40; ++round)
        for (int byte = 0; byte < 256; ++byte)
            data += static_cast<char>(byte);
    data += std::string(200, '\x04'); // encodes to '.'
    std::string body;
    encodeYencLines(reinterpret_cast<const unsigned char*>(data.data()), data.size(), 64, body);
    std::size_t start = 0;
    bool dotLine = false;
    while (start < body.size()) {
        std::size_t end = body.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = body.substr(start, end - start);
        EXPECT_LE(line.size(), 65u);
        EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.front(), '\t');
        EXPECT_NE(line.back(), ' ');
        EXPECT_NE(line.back(), '\t');
        if (line.back() == '=') ADD_FAILURE() << "escape split from its byte: " << line;
        dotLine = dotLine || line.front() == '.';
        start = end + 2;
    }
    EXPECT_TRUE(dotLine) << "a '.' at a line start is left for the server to stuff";
}
