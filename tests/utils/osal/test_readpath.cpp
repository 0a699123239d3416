#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/readpath.h"

namespace {

// What the seam puts at the path: a link to plantLink, else a FIFO.
std::string plantLink;
std::string plantedAt;
void Plant(const char* path)
{
    plantedAt = path;
    const std::string aside = std::string(path) + ".new";
    EXPECT_EQ(plantLink.empty() ? mkfifo(aside.c_str(), 0600) : symlink(plantLink.c_str(), aside.c_str()), 0);
    EXPECT_EQ(rename(aside.c_str(), path), 0);
}

} // namespace

// Whatever is put at the path between the look at it and the open is never
// opened: the regular file that was looked at is the one read. A FIFO
// without a writer is not waited on, and has no reader afterwards.
TEST(ReadPath, WhatIsPutThereAfterTheLookIsNeverOpened)
{
    kxtest::TempDir dir;
    const ZmLib::BeforeReadOpenFunc saved = ZmLib::BeforeReadOpen;
    ZmLib::BeforeReadOpen = &Plant;
    for (const char* link : {"", "/dev/null", "/dev/zero"}) {
        SCOPED_TRACE(link);
        const std::string path = dir / "log";
        unlink(path.c_str());
        kxtest::WriteFile(path, "looked at");
        plantLink = link;
        plantedAt.clear();
        std::string refusal;
        const int fd = ZmLib::OpenToRead(path.c_str(), refusal);
        EXPECT_EQ(plantedAt, path);
        EXPECT_EQ(refusal, "");
        char bytes[32] = {};
        EXPECT_EQ(fd >= 0 ? read(fd, bytes, sizeof bytes) : -1, 9);
        EXPECT_EQ(std::string(bytes), "looked at");
        EXPECT_TRUE(fd < 0 || (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0);
        EXPECT_TRUE(fd < 0 || (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0);
        if (*link == 0) {
            const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            EXPECT_TRUE(writer < 0 && errno == ENXIO);
            if (writer >= 0)
                close(writer);
        }
        if (fd >= 0)
            close(fd);
    }
    ZmLib::BeforeReadOpen = saved;
}
