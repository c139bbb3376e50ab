// corvane-demo: the corvane program downloads a post end to end on loopback, with no
// news server account, and makes it usable.
//
//   corvane-demo [--delete] [--connections N] [--tls CERT KEY] [file ...]
//
// Packs the given files (by default a generated 24 MB video file and a small text file)
// into stored RAR5 volumes with a PAR2 set, posts those as yEnc articles with the post
// maker and serves them from two test news servers: the main one lacks some articles and
// breaks off one transfer, the backup has those; two articles of one RAR volume are on
// neither. It writes config.ini for both in a fresh program folder, starts the real
// corvane with the NZB and follows the post in its article database: the download ends
// damaged, the post-processing stage fetches the PAR2 volumes it needs, repairs and
// unpacks. The unpacked files are checked byte for byte, the interesting lines of its log
// shown, and corvane ended with a "corvane x" messenger. The folder is kept for a look
// unless --delete is given. With --tls the main server speaks TLS with that certificate
// and key (PEM), and corvane is told to trust exactly that certificate by its fingerprint.
#include "ArchivedPost.h"
#include "CorvaneInstance.h"
#include "DownloadWatch.h"
#include "ServerSections.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"
#include "postStageText.h"
#include "tlsFingerprint.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The post as posts usually are: RAR5 volumes of 5 MB and a PAR2 set with 10 % recovery
// data in blocks of 64000 bytes, so that two lost articles cost about a dozen blocks.
constexpr std::uint64_t kVolumeSize = 5000000;
constexpr int kRecoveryPercent = 10;
constexpr std::uint64_t kBlockSize = 64000;
constexpr int kLostArticles = 2;

struct DemoOptions {
    bool remove = false;
    int connections = 4;
    std::string tlsCertificate, tlsKey; // empty: plain NNTP
    std::vector<std::string> files;
};

bool parseOptions(int argc, char** argv, DemoOptions& options) {
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--delete")) {
            options.remove = true;
        } else if (!strcmp(argv[i], "--connections") && i + 1 < argc) {
            options.connections = atoi(argv[++i]);
            if (options.connections < 1 || options.connections > 16) return false;
        } else if (!strcmp(argv[i], "--tls") && i + 2 < argc) {
            options.tlsCertificate = fs::absolute(argv[++i]).string();
            options.tlsKey = fs::absolute(argv[++i]).string();
        } else if (argv[i][0] == '-') {
            return false;
        } else {
            options.files.push_back(fs::absolute(argv[i]).string());
        }
    }
    return true;
}

// The default post: random bytes stand in for a video, and a text whose lines begin
// with dots, so that the servers' dot-stuffing is exercised.
std::vector<std::string> writeDefaultPost(const std::string& folder) {
    fs::create_directories(folder);
    std::mt19937_64 random(20261208);
    std::string video(24 * 1024 * 1024 + 4321, '\0');
    for (size_t i = 0; i + 8 <= video.size(); i += 8) {
        std::uint64_t word = random();
        memcpy(&video[i], &word, 8);
    }
    std::ofstream(folder + "/holiday-video.mkv", std::ios::binary) << video;
    std::ofstream(folder + "/readme.txt", std::ios::binary)
        << "Holiday video, 24 MB.\n.A line that begins with a dot.\n..and one with two.\n";
    return {folder + "/holiday-video.mkv", folder + "/readme.txt"};
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string joinIds(const std::vector<std::string>& ids) {
    std::string joined;
    for (const std::string& id : ids)
        joined += (joined.empty() ? "" : ",") + id;
    return joined;
}

// Every original is in `unpacked` and equal to what was packed, and nothing else is there.
bool checkUnpacked(const std::vector<std::string>& originals, const std::string& unpacked) {
    bool whole = true;
    for (const std::string& original : originals) {
        std::string name = fs::path(original).filename().string();
        std::string copy = unpacked + "/" + name;
        bool same = fs::exists(copy) && readWhole(copy) == readWhole(original);
        printf("  %-24s %12ju bytes  %s\n", name.c_str(), (uintmax_t)fs::file_size(original),
               same ? "identical to the original" : "MISSING OR DIFFERENT");
        whole = whole && same;
    }
    std::error_code ignored;
    size_t present = 0;
    for (auto it = fs::directory_iterator(unpacked, ignored); it != fs::directory_iterator(); ++it)
        ++present;
    if (present != originals.size()) {
        printf("  %zu files in %s, %zu expected\n", present, unpacked.c_str(), originals.size());
        whole = false;
    }
    return whole;
}

// The log lines that tell the story of the download: import, reload, workers, failures
// on the main server, decoding, the post's stage and the end. The stage's lines are
// always shown; the others up to 40.
void showLog(const std::string& log) {
    static const char* const kInteresting[] = {"add nzb",       "loaded ",      "client ",
                                               "yydecode exit", "decode:",      "430",
                                               "failed",        "decoder exit", "TLS"};
    std::istringstream lines(log);
    std::string line;
    int shown = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("post ", 0) == 0) {
            printf("  | %s\n", line.c_str());
            continue;
        }
        for (const char* part : kInteresting) {
            if (line.find(part) == std::string::npos) continue;
            if (shown++ < 40) printf("  | %s\n", line.c_str());
            break;
        }
    }
    if (shown > 40) printf("  | ... %d more lines of interest\n", shown - 40);
}

int fail(const char* message) {
    fprintf(stderr, "corvane-demo: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    if (!parseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: corvane-demo [--delete] [--connections 1..16] [--tls CERT KEY] "
                        "[file ...]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    CorvaneInstance corvane("corvane-demo");
    if (corvane.home().empty()) return fail("no temporary program folder");
    if (!options.remove) corvane.keep();
    const std::string home = corvane.home();
    printf("program folder (CORVANE_HOME): %s\n", home.c_str());
    std::vector<std::string> originals =
        options.files.empty() ? writeDefaultPost(home + "/originals") : options.files;

    const std::string setName = fs::path(originals.front()).stem().string();
    ArchivedPost archived = makeArchivedPost(originals, home + "/posted", setName, kVolumeSize,
                                             kRecoveryPercent, kBlockSize);
    if (!archived.error.empty()) return fail(archived.error.c_str());
    printf("packed %zu files into %zu RAR5 volumes with a PAR2 set (%d %% recovery in %zu "
           "volumes)\n",
           originals.size(), archived.volumes.size(), kRecoveryPercent,
           archived.par2Volumes.size());

    PostOptions post;
    post.spool = home + "/spool";
    post.nzb = home + "/" + setName + ".nzb";
    fs::create_directories(post.spool);
    std::vector<PostedFile> posted;
    try {
        posted = makePost(archived.files(), post);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    size_t articles = 0;
    for (const PostedFile& file : posted)
        articles += file.segments.size();
    printf("posted %zu files in %zu articles: %s\n", posted.size(), articles, post.nzb.c_str());

    // The main server lacks every seventh article of the first volume and breaks off the
    // transfer of its second article once; the backup server has those. A few articles
    // of the middle volume are on neither: the download ends damaged.
    std::vector<std::string> missing;
    const std::vector<PostedSegment>& first = posted.front().segments;
    for (size_t i = 3; i < first.size(); i += 7)
        missing.push_back(first[i].messageId);
    const PostedFile& damaged = posted[archived.volumes.size() / 2];
    std::vector<std::string> lost;
    for (size_t i = 2; i < damaged.segments.size() && lost.size() < kLostArticles; ++i)
        lost.push_back(damaged.segments[i].messageId);
    std::vector<std::string> mainMissing = missing;
    mainMissing.insert(mainMissing.end(), lost.begin(), lost.end());
    std::vector<std::string> mainArguments = {"--spool",   post.spool,
                                              "--log",     home + "/main-server.log",
                                              "--missing", joinIds(mainMissing)};
    if (first.size() > 1)
        mainArguments.insert(mainArguments.end(), {"--cut-after", "20000", "--cut-ids",
                                                   first[1].messageId, "--cut-times", "1"});
    std::string pin;
    if (!options.tlsCertificate.empty()) {
        pin = fingerprintOfFile(options.tlsCertificate);
        if (pin.empty()) return fail("cannot read the TLS certificate");
        mainArguments.insert(mainArguments.end(),
                             {"--tls", options.tlsCertificate, options.tlsKey});
    }
    TestNewsServerProcess mainServer(mainArguments);
    TestNewsServerProcess backupServer(
        {"--spool", post.spool, "--log", home + "/backup-server.log", "--missing", joinIds(lost)});
    if (!mainServer.port() || !backupServer.port()) return fail("a test news server did not start");
    printf("main server on 127.0.0.1:%d lacks %zu articles; backup server on localhost:%d; "
           "%zu articles of %s are on neither\n",
           mainServer.port(), missing.size(), backupServer.port(), lost.size(),
           damaged.name.c_str());

    corvane.configure("DEFAULT", "autoloadGUI", "0");
    corvane.configure("DEFAULT", "downloadto", "./download");
    addNewsServer(corvane, "127.0.0.1", mainServer.port(), 1, options.connections);
    addNewsServer(corvane, "localhost", backupServer.port(), 2, 2);
    if (!pin.empty()) {
        corvane.configure("127.0.0.1", "hostssl", "1");
        corvane.configure("127.0.0.1", "hostsslfingerprint", pin);
        printf("main server speaks TLS; corvane trusts its certificate by the pin %s\n",
               pin.c_str());
    }
    printf("wrote %s/config.ini; starting corvane %s\n", home.c_str(), post.nzb.c_str());
    if (!corvane.start({post.nzb})) return fail("corvane did not start");

    DownloadWatch watch(home);
    PostStageRow stage = watch.waitForPostStageEnd(300, stdout);
    DownloadCounts counts = watch.counts();
    tpost ended;
    ended.ppStage = stage.stage;
    snprintf(ended.ppNote, sizeof ended.ppNote, "%s", stage.note.c_str());
    printf("post-processing: %s; %d failure marks: articles a server lacked\n",
           stage.stage == ppNone ? "not started" : postStageText(ended).c_str(),
           counts.failureMarks);
    std::vector<std::string> fetched = watch.fetchedRecoveryVolumes();
    printf("PAR2 recovery volumes fetched for the repair: %zu of %zu", fetched.size(),
           archived.par2Volumes.size());
    for (const std::string& name : fetched)
        printf("%s %s", &name == &fetched.front() ? ":" : ",", name.c_str());
    printf("\n");
    // The stage names the post's folder; after the cleanup it is all download/ holds.
    std::vector<std::string> folders;
    size_t leftOver = 0;
    std::error_code ignored;
    for (auto it = fs::directory_iterator(home + "/download", ignored);
         it != fs::directory_iterator(); ++it) {
        if (it->is_directory())
            folders.push_back(it->path().string());
        else
            ++leftOver;
    }
    const std::string unpacked = folders.size() == 1 ? folders.front() : home + "/download";
    bool whole = checkUnpacked(originals, unpacked);
    printf("unpacked into %s; %zu other files left in download/ (volumes and PAR2 files are "
           "removed after the unpack)\n",
           unpacked.c_str(), leftOver);
    printf("debugnntp.txt, the lines of interest:\n");
    showLog(corvane.log());

    int messenger = corvane.message({"x"});
    int exitCode = corvane.waitExit(60);
    printf("\"corvane x\": messenger exit %d, instance exit %d\n", messenger, exitCode);
    if (options.remove)
        printf("removing %s\n", home.c_str());
    else
        printf("kept %s (download/, debugnntp.txt, config.ini, data/articles.db, "
               "*-server.log)\n",
               home.c_str());
    if (stage.stage != ppDone && stage.stage != ppFailed)
        return fail("the post was not done within 300 s");
    if (stage.stage != ppDone) return fail("the post could not be repaired and unpacked");
    if (!whole) return fail("the unpacked files are not the packed ones");
    if (leftOver != 0 || folders.size() != 1)
        return fail("download/ holds more than the post's folder");
    if (messenger != 0 || exitCode != 0) return fail("corvane did not end cleanly on \"x\"");
    printf("demo passed\n");
    return 0;
}
