// The file dialogs start in the folder of the running executable, on every platform.

#include "app/ExecutableDir.h"
#include "runtime/FileAccess.h"

#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using imconf::ExecutableFolder;
namespace files = imconf::files;

TEST(ExecutableFolder, IsTheFolderOfThisTestProgram)
{
    const auto folder = ExecutableFolder();
    ASSERT_TRUE(folder.has_value());
    const fs::path native = files::PathFromUtf8(*folder);
    EXPECT_TRUE(native.is_absolute()) << *folder;
    // This program is app_tests, with the platform's suffix for programs.
    bool found = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(native))
        found = found || (entry.path().stem() == "app_tests" && entry.is_regular_file());
    EXPECT_TRUE(found) << *folder;
}

TEST(ExecutableFolder, FolderNamedInCyrillicComesBackAsUtf8)
{
    const imconf::testing::TempDir dir;
    const fs::path folder = fs::canonical(dir.Path()) / u8"Программы" / u8"Настройка модуля";
    fs::create_directories(folder);
    std::ofstream(folder / "imconf.exe") << "program";
    const auto found = ExecutableFolder(files::Utf8FromPath(folder / "imconf.exe"));
    ASSERT_TRUE(found.has_value());
    EXPECT_NE(found->find("Программы"), std::string::npos) << *found;
    EXPECT_EQ(files::PathFromUtf8(*found), folder);
    EXPECT_FALSE(ExecutableFolder(files::Utf8FromPath(folder / "missing.exe")).has_value());
}
