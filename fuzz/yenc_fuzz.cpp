// The yEnc article parser and body decoders: every decoder variant this processor runs
// gives the same bytes; a found article's name stays in the output folder; and the
// input, yEnc-encoded as a poster would, comes back byte for byte.
#include "FuzzOracle.h"
#include "NameCheck.h"
#include "OutputName.h"
#include "YencArticle.h"
#include "YencBodyDecoder.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Decoder = std::size_t (*)(const unsigned char*, std::size_t, unsigned char*);

// Decodes `body` with every variant and fails unless all agree; the plain result.
std::string decodeAll(std::string_view body) {
    std::vector<std::pair<const char*, Decoder>> decoders{{"sse2", decodeYencBodySse2}};
    if (hasSsse3()) decoders.push_back({"ssse3", decodeYencBodySsse3});
    if (hasAvx2()) decoders.push_back({"avx2", decodeYencBodyAvx2});
    auto in = reinterpret_cast<const unsigned char*>(body.data());
    std::vector<unsigned char> plain(body.size() + kDecodeSlack);
    std::size_t size = decodeYencBodyScalar(in, body.size(), plain.data());
    if (size > body.size()) fuzzFail("the decoder made more bytes than it read", body);
    for (auto [name, decode] : decoders) {
        std::vector<unsigned char> out(body.size() + kDecodeSlack);
        std::size_t got = decode(in, body.size(), out.data());
        if (got != size || memcmp(out.data(), plain.data(), size) != 0)
            fuzzFail(std::string("the ") + name + " decoder disagrees with the plain one", body);
    }
    return std::string(plain.begin(), plain.begin() + (long)size);
}

// `data` as a single-part yEnc article with lines of up to 128 characters, escaping what
// the format requires and what posters commonly escape at line starts and ends.
std::string encodeArticle(std::string_view data, const std::string& name) {
    std::string text = "Subject: round trip\r\n\r\n=ybegin line=128 size=" +
                       std::to_string(data.size()) + " name=" + name + "\r\n";
    std::size_t column = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        unsigned char c = (unsigned char)(data[i] + 42);
        bool edge = column == 0 || i + 1 == data.size() || column >= 127;
        if (c == 0 || c == '\n' || c == '\r' || c == '=' || (edge && (c == ' ' || c == '\t')) ||
            (column == 0 && c == '.')) {
            text += '=';
            c = (unsigned char)(c + 64);
            ++column;
        }
        text += (char)c;
        if (++column >= 128) {
            text += "\r\n";
            column = 0;
        }
    }
    if (column) text += "\r\n";
    return text + "=yend size=" + std::to_string(data.size()) + "\r\n.\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view data((const char*)bytes, size);
    decodeAll(data);

    std::string problem;
    if (std::optional<YencArticle> article = findYencArticle(data, problem)) {
        checkStaysInFolder(safeOutputName(article->name), article->name);
        if (article->body.data() < data.data() ||
            article->body.data() + article->body.size() > data.data() + data.size())
            fuzzFail("the body lies outside the article", data);
        if (article->size > kMaxYencFileSize || article->begin == 0 ||
            article->end + 1 < article->begin || article->end > article->size)
            fuzzFail("the article's numbers passed unchecked", data);
        decodeAll(article->body);
    }

    std::string article = encodeArticle(data, "round trip.bin");
    std::optional<YencArticle> back = findYencArticle(article, problem);
    if (!back) fuzzFail("an encoded article was not found: " + problem, article);
    if (back->name != "round trip.bin" || back->size != size)
        fuzzFail("the encoded article's header read back wrong", article);
    if (decodeAll(back->body) != data) fuzzFail("the round trip changed the bytes", article);
    return 0;
}
