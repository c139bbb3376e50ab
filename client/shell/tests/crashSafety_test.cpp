// The running instance killed with SIGKILL in the middle of a download of several files
// and started again in the same program folder: what was being fetched is fetched again,
// what was saved is kept and not fetched again, and every file is decoded once, whole.
// Once with articles decoded into their files as they arrive, once through segment files.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "RandomBytes.h"
#include "ServerSections.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int kFiles = 4;
const size_t kFileSize = 3 * 1000 * 1000 + 777; // eight articles each

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

// A post of kFiles files on a slow test news server, and the program that fetches it.
class CrashSafety : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        ASSERT_FALSE(work.path.empty());
        for (int i = 1; i <= kFiles; ++i) {
            std::string name = "volume" + std::to_string(i) + ".bin";
            originals.push_back(work.file(name));
            names.insert(name);
            writeFile(originals.back(), randomBytes(kFileSize, (unsigned)i));
        }
        post.spool = work.file("spool");
        post.nzb = work.file("post.nzb");
        fs::create_directories(post.spool);
        posted = makePost(originals, post);
        for (const PostedFile& file : posted)
            segments += (int)file.segments.size();
        // Slow answers stretch the download over several seconds, so a kill meets it
        // with segments saved, in flight and not yet asked for.
        server = std::make_unique<TestNewsServerProcess>(
            std::vector<std::string>{"--spool", post.spool, "--delay", "150", "--log", serverLog});
        ASSERT_NE(server->port(), 0);
        corvane.configure("DEFAULT", "autoloadGUI", "0");
        corvane.configure("DEFAULT", "downloadto", "./download");
        addNewsServer(corvane, "127.0.0.1", server->port(), 1, 2);
    }

    void TearDown() override {
        if (HasFailure()) {
            corvane.keep();
            fprintf(stderr, "kept %s\n", corvane.home().c_str());
        }
    }

    // After the kill: what was saved then, checked, and the message ids not saved.
    std::set<std::string> afterKill() {
        DownloadCounts atKill = watch.counts();
        fprintf(stderr, "killed with %d of %d segments saved, %d in flight, %d files decoded\n",
                atKill.saved, atKill.segments, atKill.busy, atKill.decoded);
        EXPECT_TRUE(watch.intact());
        EXPECT_EQ(atKill.segments, segments);
        EXPECT_LT(atKill.decoded, kFiles) << "the kill came after the download";
        std::vector<std::string> unsaved = watch.unsavedIds();
        EXPECT_LT(unsaved.size(), (size_t)segments);
        return std::set<std::string>(unsaved.begin(), unsaved.end());
    }

    // A second start finishes the download: every file once, whole; segments saved
    // before the kill were not asked for again, those in flight at most once more.
    void restartAndCheck(const std::set<std::string>& notSavedAtKill, int maxRefetched) {
        ASSERT_TRUE(corvane.start());
        ASSERT_TRUE(watch.waitForDecoded(kFiles, 180, nullptr)) << corvane.log();
        EXPECT_TRUE(watch.intact());

        std::string downloads = corvane.home() + "/download";
        EXPECT_EQ(namesIn(downloads), names);
        for (const std::string& original : originals)
            EXPECT_TRUE(readFile(downloads + "/" + fs::path(original).filename().string()) ==
                        readFile(original))
                << original;
        EXPECT_TRUE(namesIn(corvane.home() + "/temp").empty()) << "work files left behind";

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
        EXPECT_LE(refetched, maxRefetched);

        ASSERT_EQ(corvane.message({"x"}), 0);
        EXPECT_EQ(corvane.waitExit(60), 0);
    }

    TempFolder work{"corvane_crash_post"};
    std::vector<std::string> originals;
    std::set<std::string> names;
    PostOptions post;
    std::vector<PostedFile> posted;
    int segments = 0;
    std::string serverLog = work.file("server.log");
    std::unique_ptr<TestNewsServerProcess> server;
    CorvaneInstance corvane{"corvane_crash"};
    DownloadWatch watch{corvane.home()};
};

// With direct write (1) and with segment files (0).
TEST_P(CrashSafety, AKilledInstanceFinishesTheDownloadWithoutLosingOrRefetchingSavedSegments) {
    corvane.configure("DEFAULT", "directwrite", std::to_string(GetParam()));
    ASSERT_TRUE(corvane.start({post.nzb}));
    ASSERT_TRUE(watch.waitForSaved(segments / 3, 120)) << corvane.log();
    corvane.kill(SIGKILL);
    ASSERT_EQ(corvane.waitExit(30), 128 + SIGKILL);
    std::set<std::string> notSavedAtKill = afterKill();
    ASSERT_FALSE(HasFailure());
    restartAndCheck(notSavedAtKill, 2);
}

INSTANTIATE_TEST_SUITE_P(DirectWriteOnAndOff, CrashSafety, ::testing::Values(1, 0));

// The program ends itself right after the bytes of a part are written into its file and
// before the segment is booked: that segment is fetched again and written once more at
// the same place; nothing booked is lost.
TEST_F(CrashSafety, AKillBetweenWritingAPartAndBookingItLosesNothing) {
    corvane.configure("DEFAULT", "directwrite", "1");
    setenv("CORVANE_TEST_KILL_AFTER_WRITES", "7", 1);
    bool started = corvane.start({post.nzb});
    unsetenv("CORVANE_TEST_KILL_AFTER_WRITES");
    ASSERT_TRUE(started);
    ASSERT_EQ(corvane.waitExit(120), 128 + SIGKILL) << corvane.log();
    std::set<std::string> notSavedAtKill = afterKill();
    ASSERT_FALSE(HasFailure());
    DownloadCounts atKill = watch.counts();
    // The part that ended the program is written but not booked; the other worker may
    // have booked one more meanwhile, or not yet its own.
    EXPECT_GE(atKill.saved, 5);
    EXPECT_LE(atKill.saved, 7);
    int recorded = 0;
    for (const std::string& name : namesIn(corvane.home() + "/temp")) {
        std::istringstream record(readFile(corvane.home() + "/temp/" + name));
        for (std::string line; std::getline(record, line);)
            recorded += line.rfind("part ", 0) == 0;
    }
    EXPECT_GT(recorded, atKill.saved) << "a part written but not booked";
    restartAndCheck(notSavedAtKill, 2);
}

} // namespace
