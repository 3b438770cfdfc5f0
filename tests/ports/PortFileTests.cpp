#include "serial/PortFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TempDir.h"

namespace imconf {
namespace {

using Lines = std::vector<std::string>;
using test::TempDir;

PortFileResult ReadBytes(std::string_view bytes, std::size_t maxLines = 10)
{
    const TempDir dir;
    return ReadPortFile(dir.Write("comports.txt", bytes), maxLines);
}

struct SplitCase {
    const char* what;
    std::string bytes;
    Lines lines;
};

TEST(PortFile, SplitsLinesLikeATextRead)
{
    const std::vector<SplitCase> cases = {
        {"empty file", "", {}},
        {"LF", "COM1\nCOM2\n", {"COM1", "COM2"}},
        {"CRLF", "COM1\r\nCOM2\r\n", {"COM1", "COM2"}},
        {"lone CR", "COM1\rCOM2\r", {"COM1", "COM2"}},
        {"mixed ends", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"no final line end", "COM1\nCOM2", {"COM1", "COM2"}},
        {"empty line in the middle", "COM1\n\nCOM2\n", {"COM1", "", "COM2"}},
        {"CR CR is two line ends", "a\r\rb", {"a", "", "b"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"a lone line end", "\n", {""}},
        {"two final line ends", "COM1\n\n", {"COM1", ""}},
        {"blanks and case kept", "  com1 \t\nCOM 2  \r\n", {"  com1 \t", "COM 2  "}},
    };
    for (const SplitCase& c : cases) {
        const PortFileResult r = ReadBytes(c.bytes);
        EXPECT_EQ(r.lines, c.lines) << c.what;
        EXPECT_FALSE(r.error) << c.what;
    }
}

TEST(PortFile, StopsAfterMaxLines)
{
    std::string twelve;
    Lines firstTen;
    for (int i = 1; i <= 12; ++i) {
        twelve += "COM" + std::to_string(i) + "\r\n";
        if (i <= 10)
            firstTen.push_back("COM" + std::to_string(i));
    }
    PortFileResult r = ReadBytes(twelve);
    EXPECT_EQ(r.lines, firstTen);
    EXPECT_FALSE(r.error);

    r = ReadBytes("a\nb\nc\n", 2);
    EXPECT_EQ(r.lines, (Lines{"a", "b"}));
    r = ReadBytes("a\nb\n", 0);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_FALSE(r.error);
}

TEST(PortFile, KeepsUtf8AndDecodesWindows1251)
{
    // "ПОРТ 1" in UTF-8 and in Windows-1251; a file may mix them line by line.
    const PortFileResult r =
        ReadBytes("\xD0\x9F\xD0\x9E\xD0\xA0\xD0\xA2 1\n\xCF\xCE\xD0\xD2 1\n\xD1OM3\n");
    EXPECT_EQ(r.lines, (Lines{"ПОРТ 1", "ПОРТ 1", "СOM3"}));

    // The letters outside the contiguous block, and the unassigned byte.
    EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9\x88\x96\xA5\xB4\xAA\xBA\xAF\xBF\xB2\xB3\xA1\xA2"),
              "Ёё№€–ҐґЄєЇїІіЎў");
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xDF\xE0\xFF"), "АЯая");
    EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
    EXPECT_EQ(Cp1251ToUtf8("COM1"), "COM1");
}

TEST(PortFile, RejectsMalformedUtf8)
{
    EXPECT_TRUE(IsValidUtf8("COM1 ПОРТ €𝄞"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xD0"));              // cut short
    EXPECT_FALSE(IsValidUtf8("\x9F"));              // continuation without a lead
    EXPECT_FALSE(IsValidUtf8("\xD0\x41"));          // lead without a continuation
}

TEST(PortFile, ReplacesControlCharactersAndDropsTheByteOrderMark)
{
    static constexpr char kBytes[] = "CO\0M1\n\x01\x7F\tX\n";
    PortFileResult r = ReadBytes(std::string(kBytes, sizeof kBytes - 1));
    EXPECT_EQ(r.lines, (Lines{"CO\xEF\xBF\xBDM1", "\xEF\xBF\xBD\xEF\xBF\xBD\tX"}));

    r = ReadBytes("\xEF\xBB\xBF"
                  "COM1\nCOM2\n");
    EXPECT_EQ(r.lines, (Lines{"COM1", "COM2"}));
    // Only at the very start, and only the whole mark.
    r = ReadBytes("COM1\n\xEF\xBB\xBF"
                  "COM2\n");
    EXPECT_EQ(r.lines, (Lines{"COM1", "\xEF\xBB\xBF"
                                      "COM2"}));
    r = ReadBytes("\xEF\xBBX");  // not UTF-8: two Windows-1251 letters
    EXPECT_EQ(r.lines, (Lines{"п»X"}));
    r = ReadBytes("\xEF");
    EXPECT_EQ(r.lines, (Lines{"п"}));
    r = ReadBytes("\xEF\xBB\xBF");
    EXPECT_TRUE(r.lines.empty());
}

TEST(PortFile, CutsVeryLongLines)
{
    // 1 MB on one line, then a normal line: the long one is cut, the rest of it is skipped.
    std::string bytes(1 << 20, 'A');
    bytes += "\r\nCOM2\n";
    PortFileResult r = ReadBytes(bytes);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0], std::string(kMaxPortFileLineBytes, 'A'));
    EXPECT_EQ(r.lines[1], "COM2");

    // A cut inside a two-byte letter drops the half letter instead of turning the line into
    // Windows-1251.
    bytes = std::string(kMaxPortFileLineBytes - 1, 'A') + "ПП\n";
    r = ReadBytes(bytes);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], std::string(kMaxPortFileLineBytes - 1, 'A'));

    // A long Windows-1251 line is cut too and still decoded.
    bytes = std::string(kMaxPortFileLineBytes + 10, '\xCF');
    r = ReadBytes(bytes);
    ASSERT_EQ(r.lines.size(), 1u);
    std::string expected;
    for (std::size_t i = 0; i < kMaxPortFileLineBytes; ++i)
        expected += "П";
    EXPECT_EQ(r.lines[0], expected);
}

TEST(PortFile, BinaryFileGivesBoundedCleanLines)
{
    std::mt19937 rng(12345);
    std::string bytes(2 << 20, '\0');
    for (char& ch : bytes)
        ch = static_cast<char>(rng() & 0xFF);
    // Sparse line ends so that some lines are long.
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' || bytes[i] == '\r')
            bytes[i] = (rng() % 64 == 0) ? '\n' : 'x';
    const PortFileResult r = ReadBytes(bytes);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.lines.size(), 10u);
    for (const std::string& line : r.lines) {
        EXPECT_TRUE(IsValidUtf8(line));
        for (const char ch : line) {
            const auto c = static_cast<unsigned char>(ch);
            EXPECT_TRUE(c >= 0x20 || c == '\t');
            EXPECT_NE(c, 0x7F);
        }
        // A Windows-1251 letter takes up to three bytes in UTF-8.
        EXPECT_LE(line.size(), 3 * kMaxPortFileLineBytes);
    }
}

TEST(PortFile, ReportsFileErrors)
{
    const TempDir dir;
    PortFileResult r = ReadPortFile(dir / "comports.txt");
    EXPECT_EQ(r.error, "File not found");
    EXPECT_TRUE(r.lines.empty());
    r = ReadPortFile(dir / "no/such/folder/comports.txt");
    EXPECT_EQ(r.error, "File not found");
    r = ReadPortFile("");
    EXPECT_EQ(r.error, "File not found");

    // A folder is refused.
    r = ReadPortFile(dir.Path());
    EXPECT_EQ(r.error, "File access denied");
    EXPECT_TRUE(r.lines.empty());
}

TEST(PortFile, ReadsFromAFolderNamedInCyrillic)
{
    // A Windows user's folders are often named in Russian: the name must reach the system
    // intact, whatever the platform's own encoding of names.
    const TempDir dir;
    // Made by its UTF-16 name on Windows, by the same bytes on Linux.
    const std::filesystem::path folder =
        files::PathFromUtf8(dir.Path()) / u8"Мои порты" / u8"список";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "comports.txt", std::ios::binary) << "COM3\r\nCOM1\r\n";
    PortFileResult r = ReadPortFile(dir / "Мои порты/список/comports.txt");
    EXPECT_EQ(r.lines, (Lines{"COM3", "COM1"}));
    EXPECT_FALSE(r.error);

    r = ReadPortFile(dir / "Мои порты/список");
    EXPECT_EQ(r.error, "File access denied");
    r = ReadPortFile(dir / "Мои порты/порты.txt");
    EXPECT_EQ(r.error, "File not found");
    // The same letters in Windows-1251 bytes are another name, one that is not there.
    r = ReadPortFile(dir / "\xCC\xEE\xE8 \xEF\xEE\xF0\xF2\xFB/список/comports.txt");
    EXPECT_EQ(r.error, "File not found");
}

}  // namespace
}  // namespace imconf
