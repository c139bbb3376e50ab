// The demo's archived post: what it posts, and that par2 and libarchive bring the
// originals back from it even when articles of a volume never arrive.
#include "ArchiveReadBack.h"
#include "ArchivedPost.h"
#include "RandomBytes.h"
#include "TestFolders.h"
#include "childProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ArchivedPostTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        writeFile(folder.file("video.mkv"), randomBytes(700000, 7));
        writeFile(folder.file("readme.txt"), "Holiday video.\n");
        post = makeArchivedPost({folder.file("video.mkv"), folder.file("readme.txt")},
                                folder.file("post"), "video", 200000, 10, 4000);
        ASSERT_EQ(post.error, "");
    }

    void expectOriginalsReadBack() {
        ReadBack read = readBack(post.volumes);
        EXPECT_EQ(read.error, "");
        ASSERT_EQ(read.entries.size(), 2u);
        EXPECT_EQ(read.entries[0].name, "video.mkv");
        EXPECT_EQ(read.entries[0].bytes, randomBytes(700000, 7));
        EXPECT_EQ(read.entries[1].name, "readme.txt");
        EXPECT_EQ(read.entries[1].bytes, "Holiday video.\n");
    }

    TempFolder folder{"archived_post"};
    ArchivedPost post;
};

TEST_F(ArchivedPostTest, PostsRarVolumesAnIndexAndFourRecoveryVolumes) {
    ASSERT_EQ(post.volumes.size(), 4u);
    EXPECT_EQ(post.volumes[0], folder.file("post/video.part1.rar"));
    EXPECT_EQ(post.par2Index, folder.file("post/video.par2"));
    ASSERT_EQ(post.par2Volumes.size(), 4u);
    EXPECT_EQ(post.par2Volumes.front().rfind(folder.file("post/video.vol"), 0), 0u);
    EXPECT_EQ(post.files().size(), 9u);
    for (const std::string& file : post.files())
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    expectOriginalsReadBack();
}

TEST_F(ArchivedPostTest, Par2RepairsAVolumeWithLostArticlesAndTheSetUnpacks) {
    // Two lost articles of the second volume leave a zeroed hole where the decoder had none.
    std::string damaged = readFile(post.volumes[1]);
    std::fill(damaged.begin() + 50000, damaged.begin() + 90000, '\0');
    writeFile(post.volumes[1], damaged);
    std::vector<std::string> repair = {locateProgram("par2", {}), "repair", "-q", post.par2Index};
    repair.insert(repair.end(), post.par2Volumes.begin(), post.par2Volumes.end());
    tchildRun run = runChild(repair);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    expectOriginalsReadBack();
}

TEST(ArchivedPost, TellsWhyWhenTheOriginalsCannotBePacked) {
    TempFolder folder("archived_post");
    ArchivedPost post =
        makeArchivedPost({folder.file("absent")}, folder.file("post"), "x", 100000, 10, 4000);
    EXPECT_NE(post.error.find("cannot read '" + folder.file("absent") + "'"), std::string::npos)
        << post.error;
}

} // namespace
