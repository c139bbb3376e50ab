// The running instance killed with SIGKILL in the middle of a download of several files
// and started again in the same program folder: what was being fetched is fetched again,
// what was saved is kept and not fetched again, and every file is decoded once, whole.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "ServerSections.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int kFiles = 4;
const size_t kFileSize = 3 * 1000 * 1000 + 777; // eight articles each

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = (char)(random() & 0xff);
    return bytes;
}

// How often the server's command log shows ARTICLE for each message id.
std::map<std::string, int> articleRequests(const std::string& logPath) {
    std::map<std::string, int> requests;
    std::ifstream log(logPath);
    std::string line;
    while (std::getline(log, line)) {
        size_t at = line.find("ARTICLE <");
        size_t end = line.rfind('>');
        if (at == std::string::npos || end == std::string::npos || end < at) continue;
        ++requests[line.substr(at + 9, end - at - 9)];
    }
    return requests;
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); ++it)
        names.insert(it->path().filename().string());
    return names;
}

TEST(CrashSafety, AKilledInstanceFinishesTheDownloadWithoutLosingOrRefetchingSavedSegments) {
    TempFolder work("corvane_crash_post");
    ASSERT_FALSE(work.path.empty());
    std::vector<std::string> originals;
    std::set<std::string> names;
    for (int i = 1; i <= kFiles; ++i) {
        std::string name = "volume" + std::to_string(i) + ".bin";
        originals.push_back(work.file(name));
        names.insert(name);
        writeFile(originals.back(), randomBytes(kFileSize, (unsigned)i));
    }
    PostOptions post;
    post.spool = work.file("spool");
    post.nzb = work.file("post.nzb");
    fs::create_directories(post.spool);
    std::vector<PostedFile> posted = makePost(originals, post);
    int segments = 0;
    for (const PostedFile& file : posted)
        segments += (int)file.segments.size();

    // Slow answers stretch the download over several seconds, so the kill meets it
    // with segments saved, in flight and not yet asked for.
    std::string serverLog = work.file("server.log");
    TestNewsServerProcess server(
        {"--spool", post.spool, "--delay", "150", "--log", serverLog});
    ASSERT_NE(server.port(), 0);

    CorvaneInstance corvane("corvane_crash");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "127.0.0.1", server.port(), 1, 2);
    DownloadWatch watch(corvane.home());

    ASSERT_TRUE(corvane.start({post.nzb}));
    ASSERT_TRUE(watch.waitForSaved(segments / 3, 120)) << corvane.log();
    corvane.kill(SIGKILL);
    ASSERT_EQ(corvane.waitExit(30), 128 + SIGKILL);

    DownloadCounts atKill = watch.counts();
    fprintf(stderr, "killed with %d of %d segments saved, %d in flight, %d files decoded\n",
            atKill.saved, atKill.segments, atKill.busy, atKill.decoded);
    EXPECT_TRUE(watch.intact());
    ASSERT_EQ(atKill.segments, segments);
    EXPECT_LT(atKill.decoded, kFiles) << "the kill came after the download";
    std::vector<std::string> unsaved = watch.unsavedIds();
    std::set<std::string> notSavedAtKill(unsaved.begin(), unsaved.end());
    ASSERT_LT(notSavedAtKill.size(), (size_t)segments);

    ASSERT_TRUE(corvane.start());
    ASSERT_TRUE(watch.waitForDecoded(kFiles, 180, nullptr)) << corvane.log();
    EXPECT_TRUE(watch.intact());

    // Every file decoded once, whole: no second copy under another name.
    std::string downloads = corvane.home() + "/download";
    EXPECT_EQ(namesIn(downloads), names);
    for (const std::string& original : originals)
        EXPECT_TRUE(readFile(downloads + "/" + fs::path(original).filename().string()) ==
                    readFile(original))
            << original;

    // Saved segments were asked for once; one in flight at the kill at most twice.
    std::map<std::string, int> requests = articleRequests(serverLog);
    int refetched = 0;
    for (const PostedFile& file : posted) {
        for (const PostedSegment& segment : file.segments) {
            int count = requests[segment.messageId];
            bool savedBeforeKill = !notSavedAtKill.count(segment.messageId);
            EXPECT_GE(count, 1) << segment.messageId;
            EXPECT_LE(count, savedBeforeKill ? 1 : 2) << segment.messageId;
            refetched += count > 1;
        }
    }
    EXPECT_LE(refetched, 2) << "more segments fetched twice than there are connections";

    ASSERT_EQ(corvane.message({"x"}), 0);
    EXPECT_EQ(corvane.waitExit(60), 0);
    if (HasFailure()) {
        corvane.keep();
        fprintf(stderr, "kept %s\n", corvane.home().c_str());
    }
}

} // namespace
