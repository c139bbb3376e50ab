#include "GzipFile.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

namespace {

const size_t kChunk = 64 * 1024;
// 16 added to the window bits makes zlib expect the gzip wrapper.
const int kGzipWindowBits = 15 + 16;

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

TInflate inflateStream(FILE* in, FILE* out, long long limit) {
    z_stream zs{};
    if (inflateInit2(&zs, kGzipWindowBits) != Z_OK) return TInflate::corrupt;
    std::unique_ptr<unsigned char[]> input(new unsigned char[kChunk]);
    std::unique_ptr<unsigned char[]> output(new unsigned char[kChunk]);
    long long total = 0;
    TInflate outcome = TInflate::corrupt;
    for (;;) {
        if (zs.avail_in == 0) {
            zs.avail_in = (uInt)fread(input.get(), 1, kChunk, in);
            zs.next_in = input.get();
            if (zs.avail_in == 0) break; // the compressed data ended early
        }
        zs.next_out = output.get();
        zs.avail_out = (uInt)kChunk;
        int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
        size_t produced = kChunk - zs.avail_out;
        total += (long long)produced;
        if (total > limit) {
            outcome = TInflate::tooLarge;
            break;
        }
        if (fwrite(output.get(), 1, produced, out) != produced) {
            outcome = TInflate::cannotWrite;
            break;
        }
        if (rc == Z_STREAM_END) {
            outcome = TInflate::done;
            break;
        }
    }
    inflateEnd(&zs);
    return outcome;
}

} // namespace

TInflate inflateGzipFile(const std::string& from, const std::string& to, long long limit) {
    File in(fopen(from.c_str(), "rb"));
    if (!in) return TInflate::corrupt;
    FILE* out = fopen(to.c_str(), "wb");
    if (!out) return TInflate::cannotWrite;
    TInflate outcome = inflateStream(in.get(), out, limit);
    if (fclose(out) != 0 && outcome == TInflate::done) outcome = TInflate::cannotWrite;
    if (outcome != TInflate::done) remove(to.c_str());
    return outcome;
}
