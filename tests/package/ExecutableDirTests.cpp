// The file dialogs start in the folder of the real executable, wherever it is started from.

#include "app/ExecutableDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using imconf::ExecutableFolder;

namespace {

class ExecutableDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/imconf-exedir-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = fs::canonical(pattern);
        startCwd_ = fs::current_path();
    }
    void TearDown() override
    {
        fs::current_path(startCwd_);
        fs::remove_all(root_);
    }
    fs::path root_;
    fs::path startCwd_;
};

TEST_F(ExecutableDirTest, RunningProgramIsThisTestsFolderWhateverTheWorkingFolder)
{
    const auto before = ExecutableFolder();
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(*before, fs::canonical("/proc/self/exe").parent_path().string());
    fs::current_path(root_);
    EXPECT_EQ(ExecutableFolder(), before);
    EXPECT_NE(*before, root_.string());
}

TEST_F(ExecutableDirTest, LinksLeadToTheRealFilesFolder)
{
    // usr/bin/imconf started through a link in another folder (e.g. /usr/local/bin).
    fs::create_directories(root_ / "usr/bin");
    fs::create_directories(root_ / "links");
    std::ofstream(root_ / "usr/bin/imconf") << "#!/bin/sh\n";
    fs::create_symlink(root_ / "usr/bin/imconf", root_ / "links/imconf");
    fs::create_symlink("../links/imconf", root_ / "usr/relative");
    EXPECT_EQ(ExecutableFolder((root_ / "links/imconf").string()), (root_ / "usr/bin").string());
    EXPECT_EQ(ExecutableFolder((root_ / "usr/relative").string()), (root_ / "usr/bin").string());
}

TEST_F(ExecutableDirTest, UnreadableLinkGivesNothing)
{
    EXPECT_FALSE(ExecutableFolder((root_ / "missing").string()).has_value());
    fs::create_symlink(root_ / "nowhere", root_ / "dangling");
    EXPECT_FALSE(ExecutableFolder((root_ / "dangling").string()).has_value());
    EXPECT_FALSE(ExecutableFolder("").has_value());
}

}  // namespace
