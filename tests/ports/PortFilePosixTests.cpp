// The port list file on Linux: the kinds of names only POSIX systems have.

#include "serial/PortFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TempDir.h"

namespace imconf {
namespace {

using Lines = std::vector<std::string>;
using test::TempDir;

TEST(PortFile, DevicesLinksAndOtherErrors)
{
    const TempDir dir;
    // A device is refused.
    PortFileResult r = ReadPortFile("/dev/null");
    EXPECT_EQ(r.error, "File access denied");

    // Something that is no folder on the way: any other error comes with its number.
    const std::string file = dir.Write("plain", "COM1\n");
    r = ReadPortFile(file + "/comports.txt");
    EXPECT_EQ(r.error, "I/O error " + std::to_string(ENOTDIR));

    // A symbolic link to a file is read like the file.
    ASSERT_EQ(::symlink(file.c_str(), (dir / "link").c_str()), 0);
    r = ReadPortFile(dir / "link");
    EXPECT_EQ(r.lines, (Lines{"COM1"}));
    EXPECT_FALSE(r.error);
}

TEST(PortFile, FifoDoesNotHang)
{
    // Nobody writes to the FIFO: a blocking open would never return.
    const TempDir dir;
    const std::string fifo = dir / "comports.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    const PortFileResult r = ReadPortFile(fifo);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(r.error, "File access denied");
    EXPECT_TRUE(r.lines.empty());
}

TEST(PortFile, ReadErrorIsReported)
{
    // A regular file by its mode, but reading it at offset 0 fails with EIO.
    const PortFileResult r = ReadPortFile("/proc/self/mem");
    EXPECT_EQ(r.error, "I/O error " + std::to_string(EIO));
    EXPECT_TRUE(r.lines.empty());
}

TEST(PortFile, UnreadableFileIsAccessDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root from reading";
    const TempDir dir;
    const std::string file = dir.Write("comports.txt", "COM1\n");
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    const PortFileResult r = ReadPortFile(file);
    EXPECT_EQ(r.error, "File access denied");
    EXPECT_TRUE(r.lines.empty());
}

}  // namespace
}  // namespace imconf
