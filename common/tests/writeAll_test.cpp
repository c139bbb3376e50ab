// Whole-buffer writes: every byte lands, and a full device is reported, not ignored.
#include "TestFolders.h"
#include "writeAll.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

TEST(WriteAll, WritesEveryByteOrNamesTheError) {
    TempFolder folder{"writeall"};
    std::string data(3 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (char)(i * 131);
    std::string path = folder.file("out.bin");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(writeAll(fd, data.data(), data.size()), 0);
    close(fd);
    EXPECT_EQ(readFile(path), data);

    int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(writeAll(full, data.data(), data.size()), ENOSPC);
    close(full);
    EXPECT_EQ(writeAll(-1, "x", 1), EBADF);
}
