// Upgrade image files on Linux: the kinds of names only POSIX systems have.

#include "firmware/Firmware.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "FirmwareScratch.h"

using namespace imconf;
using imconf::test::Scratch;

TEST(UpgradeImageLoader, FifoIsRefusedWithoutHanging)
{
    Scratch dir;
    FirmwareImage image;
    const std::string fifo = dir.Path() + "/fifo.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadUpgradeImage(fifo, image).Error, "File access denied") << "and it did not hang";
    std::size_t size = 0;
    EXPECT_EQ(ReadFileBytes(fifo, 100, size).Error,
              std::optional<std::string>("File access denied"));
    EXPECT_EQ(LoadUpgradeImage("/dev/null", image).Error, "File access denied");
}
