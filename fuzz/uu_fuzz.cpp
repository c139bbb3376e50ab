// The UU article parser and decoder: a found name stays in the output folder, the decoder
// never makes more bytes than its lines can hold, and the input, UU-encoded as a poster
// would, comes back byte for byte.
#include "FuzzOracle.h"
#include "NameCheck.h"
#include "OutputName.h"
#include "UuDecoder.h"

#include <cstdint>
#include <string>

namespace {

char uuChar(unsigned value) {
    return value == 0 ? '`' : (char)(value + 32);
}

// `data` as a UU article: header, "begin" line, lines of up to 45 bytes, "end".
std::string encodeArticle(std::string_view data, const std::string& name) {
    std::string text = "From: round trip\r\n\r\nbegin 644 " + name + "\r\n";
    for (std::size_t at = 0; at < data.size(); at += 45) {
        std::string_view chunk = data.substr(at, 45);
        text += uuChar((unsigned)chunk.size());
        for (std::size_t i = 0; i < chunk.size(); i += 3) {
            unsigned value = 0;
            for (std::size_t k = 0; k < 3; ++k)
                value = value << 8 | (i + k < chunk.size() ? (unsigned char)chunk[i + k] : 0);
            for (int shift = 18; shift >= 0; shift -= 6)
                text += uuChar((value >> shift) & 63);
        }
        text += "\r\n";
    }
    return text + "`\r\nend\r\n.\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view data((const char*)bytes, size);
    std::size_t bodyStart = 0;
    std::string name = findUuBegin(data, bodyStart);
    std::size_t from = name.empty() ? uuContinuationStart(data) : bodyStart;
    if (from > data.size()) fuzzFail("the data lines start beyond the article", data);
    if (!name.empty()) checkStaysInFolder(safeOutputName(name), name);
    std::string out;
    decodeUuLines(data, from, out);
    // A line of n characters holds at most 45 bytes in 61 characters and a length byte.
    if (out.size() > (data.size() - from) * 3 / 4 + 45)
        fuzzFail("more bytes decoded than the lines can hold", data);

    std::string article = encodeArticle(data, "round trip.bin");
    std::string back;
    name = findUuBegin(article, bodyStart);
    if (name != "round trip.bin") fuzzFail("the begin line read back wrong", article);
    if (!decodeUuLines(article, bodyStart, back)) fuzzFail("the end line was not reached", article);
    if (back != data) fuzzFail("the round trip changed the bytes", article);
    return 0;
}
