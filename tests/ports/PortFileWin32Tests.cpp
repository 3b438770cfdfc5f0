// The port list file on Windows: names that lead to devices, and files other programs hold.

#include "serial/PortFile.h"

#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"

#include <windows.h>

namespace imconf {
namespace {

using test::TempDir;

TEST(PortFile, DeviceNamesAreRefusedUnopened)
{
    // Opening COM1 would move its modem lines; reserved names are devices in every folder.
    const TempDir dir;
    for (const std::string& name :
         {std::string("NUL"), std::string("nul.txt"), std::string("COM1"), std::string("com9.txt"),
          std::string("CON "), std::string("COM1:"), std::string("C:com2"),
          std::string("\\\\.\\COM1"), std::string("//./COM1"), dir / "LPT1", dir / "aux.txt"}) {
        const PortFileResult r = ReadPortFile(name);
        EXPECT_EQ(r.error, "File access denied") << name;
        EXPECT_TRUE(r.lines.empty()) << name;
    }
    // Names that merely start like one are files.
    const std::string file = dir.Write("COM10.txt", "COM10\n");
    EXPECT_EQ(ReadPortFile(file).lines, (std::vector<std::string>{"COM10"}));
    EXPECT_EQ(ReadPortFile(dir.Write("console.txt", "x\n")).lines, (std::vector<std::string>{"x"}));
}

TEST(PortFile, PipeDoesNotHang)
{
    // A pipe nobody writes to: a read from it would never return.
    const std::wstring name =
        L"\\\\.\\pipe\\imconf-ports-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE pipe = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const PortFileResult r =
        ReadPortFile("\\\\.\\pipe\\imconf-ports-" + std::to_string(::GetCurrentProcessId()));
    EXPECT_EQ(r.error, "File access denied");
    EXPECT_TRUE(r.lines.empty());
    ::CloseHandle(pipe);
}

TEST(PortFile, FileLockedByAnotherProgramIsAccessDenied)
{
    const TempDir dir;
    const std::string file = dir.Write("comports.txt", "COM1\r\n");
    const HANDLE held =
        ::CreateFileW(files::PathFromUtf8(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadPortFile(file).error, "File access denied");
    ::CloseHandle(held);
    EXPECT_EQ(ReadPortFile(file).lines, (std::vector<std::string>{"COM1"}));
}

}  // namespace
}  // namespace imconf
