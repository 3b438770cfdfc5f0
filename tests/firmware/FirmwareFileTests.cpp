// Upgrade image files: the loader's size classes and errors, the builder's file steps.

#include "firmware/Firmware.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include "FirmwareScratch.h"

#include <filesystem>
#include <fstream>

using namespace imconf;
using imconf::test::Scratch;

namespace {

std::vector<std::uint8_t> Image(std::size_t eeprom, std::uint8_t crcLow = 0x34,
                                std::uint8_t crcHigh = 0x12)
{
    std::vector<std::uint8_t> bytes(kImageHeaderSize + eeprom);
    for (std::size_t i = 0; i < kFlashSize; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    bytes[kFlashSize] = crcLow;
    bytes[kFlashSize + 1] = crcHigh;
    for (std::size_t i = 0; i < eeprom; ++i)
        bytes[kImageHeaderSize + i] = static_cast<std::uint8_t>(0x40 + (i % 64));
    return bytes;
}

}  // namespace

TEST(UpgradeImageLoader, SizeClasses)
{
    Scratch dir;
    FirmwareImage image;
    PresetForLoad(image);
    std::vector<std::uint8_t> shortFile(14337, 1);
    EXPECT_EQ(LoadUpgradeImage(dir.Write("short.hex", shortFile), image).Outcome,
              LoadOutcome::SizeError);
    EXPECT_EQ(image.FlashImage[0], 0xFF) << "a refused file loads nothing";

    // Exactly the header: no EEPROM part, block 31 is 0xFF but for the CRC triple.
    ASSERT_EQ(LoadUpgradeImage(dir.Write("exact.hex", Image(0)), image).Outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 0);
    EXPECT_EQ(image.ImageCrc, 0x1234);
    EXPECT_EQ(image.FlashImage[100], static_cast<std::uint8_t>(700));
    for (std::size_t i = 496; i < 506; ++i)
        EXPECT_EQ(image.EepromImage[i], 0xFF) << i;
    EXPECT_EQ((std::vector<std::uint8_t>(image.EepromImage.begin() + 506,
                                         image.EepromImage.begin() + 512)),
              (std::vector<std::uint8_t>{0x34, 0x12, 0x34, 0x12, 0x34, 0x12}));

    // 100 EEPROM bytes: 7 blocks, block 6 holds the last 4 bytes then 0xFF.
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(dir.Write("100.hex", Image(100)), image).Outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 7);
    EXPECT_EQ(image.EepromImage[99], 0x40 + 35);
    for (std::size_t i = 100; i < 112; ++i)
        EXPECT_EQ(image.EepromImage[i], 0xFF) << i;

    // 512 bytes: 32 blocks, the triple replaces the file's bytes 506..511.
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(dir.Write("512.hex", Image(512, 0xAA, 0x55)), image).Outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 32);
    EXPECT_EQ(image.EepromImage[505], 0x40 + (505 % 64));
    EXPECT_EQ(image.EepromImage[506], 0xAA);
    EXPECT_EQ(image.EepromImage[511], 0x55);

    // The whole EEPROM image is allowed; one byte more is a size error, never a write past it.
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(dir.Write("2048.hex", Image(2048)), image).Outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 128);
    EXPECT_EQ(LoadUpgradeImage(dir.Write("2049.hex", Image(2049)), image).Outcome,
              LoadOutcome::SizeError);
}

TEST(UpgradeImageLoader, PartialBlockBeyondThePresetIsPaddedNotLeftOver)
{
    Scratch dir;
    FirmwareImage image;
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(dir.Write("big.hex", Image(2048)), image).Outcome,
              LoadOutcome::Loaded);
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(dir.Write("odd.hex", Image(600)), image).Outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 38);
    for (std::size_t i = 600; i < 608; ++i)
        EXPECT_EQ(image.EepromImage[i], 0xFF) << "byte " << i << " of an earlier file";
}

TEST(UpgradeImageLoader, FilesThatAreNoUpgradeImage)
{
    Scratch dir;
    FirmwareImage image;
    const LoadResult missing = LoadUpgradeImage(dir.Path() + "/none.hex", image);
    EXPECT_EQ(missing.Outcome, LoadOutcome::FileError);
    EXPECT_EQ(missing.Error, "File not found");
    EXPECT_EQ(LoadUpgradeImage(dir.Path(), image).Error, "File access denied");
    // A 1 GB sparse file is refused by its size without being read.
    const std::string sparse = dir.Path() + "/sparse.hex";
    {
        std::ofstream out(sparse, std::ios::binary);
    }
    std::filesystem::resize_file(sparse, 1ull << 30);
    EXPECT_EQ(LoadUpgradeImage(sparse, image).Outcome, LoadOutcome::SizeError);
}

// A name that is not UTF-8 (found by fuzz_image_builder): a run of stray continuation bytes
// used to count as one character, so far more than four characters were cut.
TEST(ImageBuilderFiles, OutputNameOfNameWithStrayContinuationBytes)
{
    const std::string stray(22, '\x87');
    EXPECT_EQ(BuilderOutputName("/fw/module" + stray),
              "/fw/module" + stray.substr(0, 6) + "_Crypt.hex");
    // A character of four bytes is still one character.
    EXPECT_EQ(BuilderOutputName("/fw/mod\xF0\x9F\x98\x80"
                                "abc"),
              "/fw/mod_Crypt.hex");
    EXPECT_EQ(BuilderOutputName(stray.substr(0, 5)), "_Crypt.hex");
}

TEST(ImageBuilderFiles, OutputNameAndWrittenLayout)
{
    EXPECT_EQ(BuilderOutputName("D:\\fw\\module.hex"), "D:\\fw\\module_Crypt.hex");
    EXPECT_EQ(BuilderOutputName("/fw/module.bin"), "/fw/module_Crypt.hex");
    EXPECT_EQ(BuilderOutputName("/fw/прошивка"), "/fw/прош_Crypt.hex") << "characters, not bytes";
    EXPECT_EQ(BuilderOutputName("ab"), "_Crypt.hex");

    Scratch dir;
    FirmwareImage image;
    image.FlashImage.fill(0xFF);
    image.FlashImage[0] = 0x11;
    image.ImageCrc = Crc16(image.FlashImage.data(), static_cast<std::uint16_t>(kFlashSize));
    const std::string out = dir.Path() + "/x_Crypt.hex";
    ASSERT_FALSE(WriteUpgradeImage(out, image, std::vector<std::uint8_t>(512, 0x5A)));
    EXPECT_EQ(std::filesystem::file_size(out), 14850u);
    FirmwareImage loaded;
    PresetForLoad(loaded);
    ASSERT_EQ(LoadUpgradeImage(out, loaded).Outcome, LoadOutcome::Loaded);
    EXPECT_EQ(loaded.EepromBlockCount, 32);
    EXPECT_EQ(loaded.ImageCrc, image.ImageCrc);
    EXPECT_EQ(loaded.FlashImage, image.FlashImage);
    EXPECT_EQ(WriteUpgradeImage(dir.Path() + "/no/such/dir.hex", image, {}),
              std::optional<std::string>("File not found"));

    std::size_t size = 0;
    const FileBytes read = ReadFileBytes(out, 100, size);
    EXPECT_EQ(size, 14850u);
    EXPECT_TRUE(read.Bytes.empty()) << "over the limit: measured, not read";
    EXPECT_FALSE(read.Error);
}

TEST(ImageBuilderFiles, FilesInAFolderNamedInCyrillic)
{
    Scratch dir;
    const std::string folder = dir.Path() + "/Прошивки модуля";
    ASSERT_TRUE(std::filesystem::create_directory(files::PathFromUtf8(folder)));
    const std::string flash = dir.Write("Прошивки модуля/модуль.hex", Image(100));
    FirmwareImage image;
    PresetForLoad(image);
    ASSERT_EQ(LoadUpgradeImage(flash, image).Outcome, LoadOutcome::Loaded);
    EXPECT_EQ(image.EepromBlockCount, 7);

    const std::string out = BuilderOutputName(flash);
    EXPECT_EQ(out, folder + "/модуль_Crypt.hex");
    ASSERT_FALSE(WriteUpgradeImage(out, image, std::vector<std::uint8_t>(16, 0x5A)));
    EXPECT_TRUE(
        std::filesystem::is_regular_file(dir.Native() / u8"Прошивки модуля" / u8"модуль_Crypt.hex"))
        << "the name as written, not its bytes in another code page";
    std::size_t size = 0;
    const FileBytes read = ReadFileBytes(out, 20000, size);
    EXPECT_EQ(size, kImageHeaderSize + 16);
    EXPECT_FALSE(read.Error);
    ASSERT_EQ(read.Bytes.size(), size);
    EXPECT_EQ(read.Bytes[kImageHeaderSize], 0x5A);

    RemoveIfPresent(out);
    EXPECT_EQ(ReadFileBytes(out, 20000, size).Error, std::optional<std::string>("File not found"));
    RemoveIfPresent(out);  // already gone: nothing happens
}
