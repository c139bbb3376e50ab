// The bounds of every request: body size before and after gzip inflation, and the
// deadline of the whole request.
#include "FetchmillFixture.h"

#include <zlib.h>

namespace {

const long long kPageLimit = 64LL * 1024 * 1024;

// A gzip file of `size` zero bytes, written in pieces so that no test holds it whole.
void writeGzipOfZeros(const fs::path& path, long long size) {
    gzFile out = gzopen(path.c_str(), "wb9");
    ASSERT_NE(out, nullptr);
    std::string zeros(1 << 20, '\0');
    for (long long left = size; left > 0;) {
        unsigned piece = (unsigned)std::min<long long>(left, (long long)zeros.size());
        ASSERT_EQ(gzwrite(out, zeros.data(), piece), (int)piece);
        left -= piece;
    }
    ASSERT_EQ(gzclose(out), Z_OK);
}

} // namespace

TEST_F(FetchmillTest, BodyOneByteOverThePageLimitIsDiscarded) {
    // Sparse: the file costs no disk, only the server's memory while it answers.
    std::ofstream(dir / "site" / "big.nzb").close();
    fs::resize_file(dir / "site" / "big.nzb", (uintmax_t)kPageLimit + 1);
    auto server = startServer({"GET /big -> big.nzb"});
    ASSERT_GT(server->port(), 0);
    Response response = fetchOne("big.htm", server->hostPort(), "/big");
    // Not an NZB any more: an empty page, which nothing takes for a download.
    EXPECT_EQ(response.file, tmp("big.htm"));
    EXPECT_EQ(response.result, 0);
    EXPECT_EQ(fs::file_size(tmp("big.htm")), 0u);
    EXPECT_EQ(tmpNames(), std::set<std::string>{"big.htm"});
    EXPECT_NE(fetchLog.find("larger than 67108864 bytes, discarded"), std::string::npos) << fetchLog;
}

TEST_F(FetchmillTest, BodyLimitHoldsExactlyBeforeAndAfterInflation) {
    std::ofstream(dir / "site" / "limit.nzb") << std::string(1000, 'n');
    std::ofstream(dir / "site" / "over.nzb") << std::string(1001, 'n');
    auto server = startServer({"GET /limit -> limit.nzb", "GET /over -> over.nzb",
                               "GET /limitgz -> limit.nzb gzip", "GET /overgz -> over.nzb gzip"});
    ASSERT_GT(server->port(), 0);
    THttpLimits limits;
    limits.bodyLimit = 1000;
    struct Row {
        const char* path;
        const char* finalName;
        size_t size;
    } rows[] = {{"/limit", "limit.nzb", 1000},
                {"/over", "over.htm", 0},
                {"/limitgz", "limitgz.nzb", 1000},
                {"/overgz", "overgz.htm", 0}};
    for (const Row& row : rows) {
        std::string file = std::string(row.path + 1) + ".htm";
        Response response = fetchOne(file, server->hostPort(), row.path, nullptr, nullptr, limits);
        EXPECT_EQ(response.file, tmp(row.finalName)) << row.path;
        EXPECT_EQ(fs::file_size(tmp(row.finalName)), row.size) << row.path;
    }
    EXPECT_EQ(tmpNames(), (std::set<std::string>{"limit.nzb", "over.htm", "limitgz.nzb",
                                                 "overgz.htm"}));
}

TEST_F(FetchmillTest, GzipBombIsStoppedAtThePageLimit) {
    // About 100 KB on the wire, 128 MiB once inflated.
    writeGzipOfZeros(dir / "site" / "bomb.gz", 2 * kPageLimit);
    auto server =
        startServer({"GET /bomb -> bomb.gz type=text/plain header=\"Content-Encoding: gzip\""});
    ASSERT_GT(server->port(), 0);
    Response response = fetchOne("bomb.htm", server->hostPort(), "/bomb");
    EXPECT_EQ(response.file, tmp("bomb.htm"));
    EXPECT_EQ(fs::file_size(tmp("bomb.htm")), 0u);
    EXPECT_EQ(tmpNames(), std::set<std::string>{"bomb.htm"});
    EXPECT_NE(fetchLog.find("inflates to more than 67108864 bytes, discarded"), std::string::npos)
        << fetchLog;
}

TEST_F(FetchmillTest, TricklingServerIsStoppedAtTheRequestDeadline) {
    std::ofstream(dir / "site" / "long.htm") << std::string(20000, 'p');
    // The header and a first piece at once, then 200 bytes every 400 ms: each wait is
    // short, the whole answer would take 40 s.
    auto server = startServer({"GET /trickle -> long.htm chunk=200 pause=400"});
    ASSERT_GT(server->port(), 0);
    THttpLimits limits;
    limits.deadlineSeconds = 2;
    auto before = std::chrono::steady_clock::now();
    Response response = fetchOne("trickle.htm", server->hostPort(), "/trickle", nullptr,
                                 nullptr, limits);
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(response.file, tmp("trickle.htm"));
    // What arrived before the deadline stays, as for any answer cut off.
    std::string kept = readFile(tmp("trickle.htm"));
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), 20000u);
    EXPECT_EQ(kept, std::string(kept.size(), 'p'));
    EXPECT_EQ(tmpNames(), std::set<std::string>{"trickle.htm"});
    EXPECT_NE(fetchLog.find("the request deadline of 2 s passed"), std::string::npos) << fetchLog;
}
