// Direct write through the real program: a post downloaded from two test news servers
// with faults, once with articles decoded into their files as they arrive and once
// through segment files and yydecode. Both give the same files, byte for byte, and the
// same article database; neither leaves work files behind.
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "RandomBytes.h"
#include "NzbWriter.h"
#include "ServerSections.h"
#include "SqlRows.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string joinIds(const std::vector<std::string>& ids) {
    std::string joined;
    for (const std::string& id : ids)
        joined += (joined.empty() ? "" : ",") + id;
    return joined;
}

// Every file below `folder` (name to content).
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ignored;
    for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); ++it)
        files[it->path().filename().string()] = readFile(it->path().string());
    return files;
}

// What a finished download leaves: the download folder, the temporary folder, the rows
// that say what was fetched and decoded, and the log.
struct tdownload {
    std::map<std::string, std::string> downloads;
    std::map<std::string, std::string> temp;
    SqlRows rows;
    std::string log;
};

class DirectWrite : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(work.path.empty()); }

    // Downloads the NZB with `directwrite` from the given servers (port, host id) and
    // waits until `files` files are decoded.
    tdownload download(int directwrite, const std::string& nzb,
                       const std::vector<std::pair<std::string, int>>& servers, int files) {
        tdownload result;
        CorvaneInstance corvane("corvane_directwrite");
        corvane.configure("DEFAULT", "autoloadGUI", "0");
        corvane.configure("DEFAULT", "downloadto", "./download");
        corvane.configure("DEFAULT", "directwrite", std::to_string(directwrite));
        int hostId = 1;
        for (const auto& [host, port] : servers)
            addNewsServer(corvane, host, port, hostId++, 2);
        DownloadWatch watch(corvane.home());
        EXPECT_TRUE(corvane.start({nzb}));
        EXPECT_TRUE(watch.waitForDecoded(files, 120, nullptr)) << corvane.log();
        EXPECT_EQ(corvane.message({"x"}), 0);
        EXPECT_EQ(corvane.waitExit(60), 0);
        result.downloads = filesIn(corvane.home() + "/download");
        result.temp = filesIn(corvane.home() + "/temp");
        std::string database = corvane.home() + "/data/articles.db";
        for (const char* sql :
             {"SELECT 'file', fileFID, fileProgress FROM file ORDER BY fileFID",
              "SELECT 'deco', decoFID, decoCheck FROM deco ORDER BY decoFID",
              "SELECT 'segm', COUNT(*) FROM segm", "SELECT 'queu', COUNT(*) FROM queu"})
            for (const std::vector<std::string>& row : readOnlyRows(database, sql))
                result.rows.push_back(row);
        result.log = corvane.log();
        if (HasFailure()) corvane.keep();
        return result;
    }

    static int count(const std::string& text, const std::string& word) {
        int found = 0;
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
            ++found;
        return found;
    }

    TempFolder work{"corvane_directwrite_post"};
};

// 40 files of two to four articles, each last article shorter; one server lacks some
// articles and cuts others off once, the other answers slowly, so parts of a file arrive
// in any order and from either server.
TEST_F(DirectWrite, FaultyServersGiveTheSameFilesAndRowsAsSegmentFiles) {
    const int kFiles = 40;
    std::map<std::string, std::string> originals;
    std::vector<std::string> paths;
    for (int i = 1; i <= kFiles; ++i) {
        std::string name = "part" + std::to_string(i) + ".bin";
        originals[name] = randomBytes(20000 * (1 + i % 3) + 1 + i * 37, (unsigned)i);
        paths.push_back(work.file(name));
        writeFile(paths.back(), originals[name]);
    }
    PostOptions post;
    post.spool = work.file("spool");
    post.nzb = work.file("post.nzb");
    post.partSize = 20000;
    fs::create_directories(post.spool);
    std::vector<PostedFile> posted = makePost(paths, post);
    std::vector<std::string> missing;
    std::vector<std::string> cut;
    int article = 0;
    for (const PostedFile& file : posted)
        for (const PostedSegment& segment : file.segments) {
            if (article % 5 == 1) missing.push_back(segment.messageId);
            if (article % 5 == 3) cut.push_back(segment.messageId);
            ++article;
        }
    TestNewsServerProcess faulty({"--spool", post.spool, "--missing", joinIds(missing),
                                  "--cut-ids", joinIds(cut), "--cut-after", "5000",
                                  "--cut-times", "1"});
    TestNewsServerProcess slow({"--spool", post.spool, "--delay", "20"});
    ASSERT_NE(faulty.port(), 0);
    ASSERT_NE(slow.port(), 0);
    const std::vector<std::pair<std::string, int>> servers = {{"127.0.0.1", faulty.port()},
                                                              {"localhost", slow.port()}};

    tdownload direct = download(1, post.nzb, servers, kFiles);
    tdownload segmented = download(0, post.nzb, servers, kFiles);

    EXPECT_TRUE(direct.downloads == originals) << direct.downloads.size() << " files";
    EXPECT_TRUE(segmented.downloads == originals) << segmented.downloads.size() << " files";
    EXPECT_TRUE(direct.temp.empty()) << direct.temp.begin()->first;
    EXPECT_TRUE(segmented.temp.empty()) << segmented.temp.begin()->first;
    EXPECT_EQ(direct.rows, segmented.rows);
    EXPECT_EQ(direct.rows.size(), (size_t)(2 * kFiles + 2));
    // Every file finished in the program; yydecode never ran.
    EXPECT_EQ(count(direct.log, "finish: "), kFiles) << direct.log;
    EXPECT_EQ(count(direct.log, "exec: "), 0);
    EXPECT_EQ(count(segmented.log, "exec: "), kFiles);
    EXPECT_EQ(count(segmented.log, "finish: "), 0);
}

// UU articles cannot be decoded in the program: they are saved as segment files and
// yydecode joins them, as without direct write.
TEST_F(DirectWrite, UuArticlesGoThroughSegmentFilesAndYydecode) {
    PostOptions post;
    post.spool = work.file("spool");
    post.nzb = work.file("uu.nzb");
    fs::create_directories(post.spool);
    PostedFile file;
    file.name = "pets.txt";
    file.subject = "\"pets.txt\" (1/2)";
    file.date = 1700000000;
    const std::vector<std::string> bodies = {"begin 644 pets.txt\r\n#0V%T\r\n",
                                             "$9&]G(0``\r\n`\r\nend\r\n"};
    for (int n = 1; n <= 2; ++n) {
        PostedSegment segment;
        segment.number = n;
        segment.messageId = "uu" + std::to_string(n) + "@test.invalid";
        std::string text = "From: a@test.invalid\r\nSubject: pets\r\nMessage-ID: <" +
                           segment.messageId + ">\r\n\r\n" + bodies[n - 1];
        writeFile(post.spool + "/" + segment.messageId, text);
        segment.bytes = text.size();
        file.segments.push_back(segment);
    }
    writeNzb(post.nzb, {file}, post);
    TestNewsServerProcess server({"--spool", post.spool});
    ASSERT_NE(server.port(), 0);

    tdownload direct = download(1, post.nzb, {{"127.0.0.1", server.port()}}, 1);
    EXPECT_EQ(direct.downloads, (std::map<std::string, std::string>{{"pets.txt", "Catdog!"}}));
    EXPECT_TRUE(direct.temp.empty());
    EXPECT_EQ(count(direct.log, "exec: "), 1) << direct.log;
    EXPECT_EQ(count(direct.log, "finish: "), 0);
}

} // namespace
