// The builder's inputs: Intel HEX told from plain bytes by content, read strictly into the bytes
// it describes, refused with the line at fault; and the CRC check of a loaded image.

#include "firmware/Firmware.h"
#include "firmware/IntelHex.h"

#include <gtest/gtest.h>

#include "FirmwareScratch.h"
#include "HexText.h"

#include <algorithm>
#include <cctype>

using namespace imconf;
using imconf::test::Scratch;

namespace {

using imconf::test::BytesOf;
using imconf::test::HexOf;
using imconf::test::HexRecord;
using imconf::test::kHexEnd;

std::vector<std::uint8_t> Program(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

HexError FaultOf(const std::string& text, std::size_t memory = kFlashSize)
{
    const HexImage image = ReadIntelHex(BytesOf(text), memory);
    EXPECT_TRUE(image.Bytes.empty());
    return image.Error.value_or(HexError{});
}

}  // namespace

TEST(IntelHex, HexFileGivesTheBytesThePlainFileHolds)
{
    Scratch dir;
    const auto program = Program(kFlashSize - 3);  // a short last record
    const BuilderInput plain = ReadBuilderInput(dir.Write("fw.bin", program), kFlashSize);
    const BuilderInput hex =
        ReadBuilderInput(dir.Write("fw.hex", BytesOf(HexOf(program))), kFlashSize);
    ASSERT_EQ(plain.Status, InputStatus::Ready);
    ASSERT_EQ(hex.Status, InputStatus::Ready);
    EXPECT_TRUE(hex.IntelHex);
    EXPECT_FALSE(plain.IntelHex);
    EXPECT_EQ(hex.Bytes, plain.Bytes);

    // Gaps read as erased memory; LF line ends, lower-case digits and a trailing blank line pass.
    auto withGaps = program;
    for (std::size_t at = 32; at < withGaps.size(); at += 48)
        std::fill_n(withGaps.begin() + static_cast<std::ptrdiff_t>(at),
                    std::min<std::size_t>(16, withGaps.size() - at), std::uint8_t{0xFF});
    std::string lower = HexOf(program, 3) + "\n";
    std::erase(lower, '\r');
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadIntelHex(BytesOf(lower), kFlashSize).Bytes, withGaps);
}

TEST(IntelHex, AddressRecordsMoveTheBase)
{
    // Segment 0010 is address 0x100; linear 0000 brings the base back to 0.
    const std::string text = HexRecord(2, 0, {0x00, 0x10}) + HexRecord(0, 0x0002, {0xAA}) +
                             HexRecord(4, 0, {0x00, 0x00}) + HexRecord(0, 0x0000, {0x55}) + kHexEnd;
    const HexImage image = ReadIntelHex(BytesOf(text), kMaxBuilderEeprom);
    ASSERT_FALSE(image.Error);
    ASSERT_EQ(image.Bytes.size(), 0x103u);
    EXPECT_EQ(image.Bytes[0], 0x55);
    EXPECT_EQ(image.Bytes[1], 0xFF);
    EXPECT_EQ(image.Bytes[0x102], 0xAA);
}

TEST(IntelHex, FaultsNameTheirLine)
{
    std::string badChecksum = HexRecord(0, 0, {1, 2, 3}) + HexRecord(0, 3, {4});
    badChecksum[badChecksum.size() - 3] = '7';  // the second record's checksum: F7 for F8
    HexError e = FaultOf(badChecksum + kHexEnd);
    EXPECT_EQ(e.Fault, HexFault::BadChecksum);
    EXPECT_EQ(e.Line, 2u);
    EXPECT_EQ(e.Value, 0xF7);
    EXPECT_EQ(e.Expected, 0xF8);
    EXPECT_EQ(DescribeHexError(e, kFlashSize), "line 2: checksum F7, the record's bytes give F8");

    e = FaultOf(HexRecord(0, 0, {1}) + HexRecord(3, 0, {0, 0, 0, 0}) + kHexEnd);
    EXPECT_EQ(e.Fault, HexFault::UnknownRecord);
    EXPECT_EQ(e.Value, 3);
    EXPECT_EQ(e.Line, 2u);

    // One past the memory, for FLASH and for EEPROM; a linear base near 4 GiB does not wrap.
    e = FaultOf(HexRecord(0, 0x37FF, {1, 2}) + kHexEnd);
    EXPECT_EQ(e.Fault, HexFault::OutOfRange);
    EXPECT_EQ(e.Address, kFlashSize);
    e = FaultOf(HexRecord(0, 0x01F0, Program(17)) + kHexEnd, kMaxBuilderEeprom);
    EXPECT_EQ(e.Fault, HexFault::OutOfRange);
    EXPECT_EQ(e.Address, kMaxBuilderEeprom);
    e = FaultOf(HexRecord(4, 0, {0xFF, 0xFF}) + HexRecord(0, 0xFFFF, Program(2)) + kHexEnd);
    EXPECT_EQ(e.Fault, HexFault::OutOfRange);

    e = FaultOf(HexRecord(0, 0, Program(16)));
    EXPECT_EQ(e.Fault, HexFault::NoEnd);
    EXPECT_EQ(FaultOf(kHexEnd + HexRecord(0, 0, {1})).Fault, HexFault::AfterEnd);
    EXPECT_EQ(FaultOf(HexRecord(0, 0, {1, 2}) + HexRecord(0, 1, {3}) + kHexEnd).Fault,
              HexFault::GivenTwice);
    EXPECT_EQ(FaultOf(":0100000001FF\r\n" + kHexEnd).Fault, HexFault::BadChecksum);
    EXPECT_EQ(FaultOf(":02000000010\r\n" + kHexEnd).Fault, HexFault::BadLine) << "odd digits";
    EXPECT_EQ(FaultOf(":0200000001FD\r\n" + kHexEnd).Fault, HexFault::BadLine) << "short record";
    EXPECT_EQ(FaultOf(":01000000G1FE\r\n" + kHexEnd).Fault, HexFault::BadLine);
    EXPECT_EQ(FaultOf(HexRecord(1, 0, {0}) + kHexEnd).Fault, HexFault::BadLength);
    EXPECT_EQ(FaultOf(HexRecord(4, 0, {0}) + kHexEnd).Fault, HexFault::BadLength);
    EXPECT_EQ(FaultOf(kHexEnd).Fault, HexFault::NoData);
}

TEST(IntelHex, TextThatIsNotHexIsRefusedAndPlainBytesStayBytes)
{
    Scratch dir;
    const BuilderInput text = ReadBuilderInput(
        dir.Write("fw.srec", BytesOf("S00600004844521B\nS9030000FC\n")), kFlashSize);
    EXPECT_EQ(text.Status, InputStatus::NotHex);
    EXPECT_EQ(text.FileSize, 28u);
    EXPECT_EQ(ReadBuilderInput(dir.Write("notes.txt", BytesOf("Прошивка 2.1\r\n")), 512).Status,
              InputStatus::NotHex);
    const BuilderInput bad = ReadBuilderInput(dir.Write("fw.hex", BytesOf(":00000001FE\n")), 512);
    EXPECT_EQ(bad.Status, InputStatus::BadHex);
    EXPECT_EQ(bad.FileSize, 12u);
    // Printable bytes without a line end, and bytes that are no text, are plain bytes.
    EXPECT_EQ(ReadBuilderInput(dir.Write("b.bin", std::vector<std::uint8_t>(512, 'B')), 512).Status,
              InputStatus::Ready);
    EXPECT_EQ(ReadBuilderInput(dir.Write("c.bin", BytesOf(":00\n\x01")), 512).Status,
              InputStatus::Ready);
    const BuilderInput big = ReadBuilderInput(dir.Write("d.bin", Program(513)), 512);
    EXPECT_EQ(big.Status, InputStatus::WrongSize);
    EXPECT_EQ(big.FileSize, 513u);
}

TEST(UpgradeImageCrc, ALoadedImageIsDamagedWhenItsCrcIsNotThatOfItsFlash)
{
    FirmwareImage image;
    PresetForLoad(image);
    image.FlashImage[100] = 0x42;
    image.ImageCrc = FlashCrc(image);
    EXPECT_TRUE(FlashCrcMatches(image));
    image.FlashImage[14335] = 0x00;  // one byte changed on the way
    EXPECT_FALSE(FlashCrcMatches(image));
}
