// imconf-cli's firmware commands on files that must not reach the module: a damaged upgrade
// image, and builder inputs in Intel HEX, good and bad.

#include "CliRig.h"

#include "../firmware/HexText.h"
#include "firmware/Firmware.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace imconf;
using namespace imconf::testing;

namespace {

std::string WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(CliUpgrade, ADamagedImageIsRefusedAndNothingIsSentUnlessForced)
{
    ScratchDir dir;
    std::vector<std::uint8_t> image(kImageHeaderSize + 16, 0x11);
    const std::uint16_t computed = Crc16(image.data(), static_cast<std::uint16_t>(kFlashSize));
    image[kFlashSize] = 0x34;  // the file says 1234
    image[kFlashSize + 1] = 0x12;
    const std::string file = WriteFile(dir.File("fw.hex"), image);
    CliRig rig;
    rig.module.SetMode(sim::TMode::Bootloader);
    EXPECT_EQ(rig.Run({"upgrade", file}), cli::status::Usage);
    rig.loop.Advance(std::chrono::seconds(5));
    EXPECT_TRUE(rig.line.Requests().empty());
    EXPECT_EQ(rig.module.Bootloader().PagesReceived(), 0u);
    EXPECT_NE(rig.err.find(file), std::string::npos) << rig.err;
    EXPECT_NE(rig.err.find("1234"), std::string::npos) << rig.err;
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", computed);
    EXPECT_NE(rig.err.find(crc), std::string::npos) << rig.err;

    ASSERT_EQ(rig.Run({"upgrade", "--force", file}), cli::status::Done) << rig.err;
    EXPECT_TRUE(rig.module.Bootloader().Complete());
}

TEST(CliBuildImage, IntelHexGivesTheImageItsBytesGive)
{
    ScratchDir dir;
    std::vector<std::uint8_t> flash(5000);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<std::uint8_t>(i * 3);
    std::vector<std::uint8_t> eeprom(300);
    for (std::size_t i = 0; i < eeprom.size(); ++i)
        eeprom[i] = static_cast<std::uint8_t>(i ^ 0xA5);
    CliRig rig;
    const std::string fromBytes = dir.File("bytes.img");
    ASSERT_EQ(rig.Run({"build-image", WriteFile(dir.File("f.bin"), flash),
                       WriteFile(dir.File("e.bin"), eeprom), "-o", fromBytes}),
              cli::status::Done)
        << rig.err;
    const std::string fromHex = dir.File("hex.img");
    ASSERT_EQ(
        rig.Run({"build-image", WriteFile(dir.File("f.hex"), test::BytesOf(test::HexOf(flash))),
                 WriteFile(dir.File("e.hex"), test::BytesOf(test::HexOf(eeprom))), "-o", fromHex}),
        cli::status::Done)
        << rig.err;
    EXPECT_EQ(ReadFile(fromHex), ReadFile(fromBytes));
    EXPECT_EQ(ReadFile(fromHex).size(), kImageHeaderSize + 300);
}

TEST(CliBuildImage, BadInputIsRefusedWithTheFileItsSizeAndWhy)
{
    ScratchDir dir;
    const std::string good = test::HexOf(std::vector<std::uint8_t>(64, 0x5A));
    std::string badChecksum = good;
    badChecksum[good.find('\n') - 2] = badChecksum[good.find('\n') - 2] == '0' ? '1' : '0';
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {badChecksum, "line 1: checksum"},
        {test::HexRecord(5, 0, {0, 0, 0, 0}) + good, "line 1: record type 05"},
        {test::HexRecord(0, 0x37FF, {1, 2}) + test::kHexEnd, "line 1: address 3800 is past"},
        {good.substr(0, good.size() - test::kHexEnd.size()), "no end-of-file record"},
        {"flash = 1\nfirmware\n", "not Intel HEX"},
    };
    const std::string eeprom = WriteFile(dir.File("e.bin"), {1, 2, 3});
    for (const Case& c : cases) {
        const std::string flash = WriteFile(dir.File("flash.hex"), test::BytesOf(c.text));
        CliRig rig;
        EXPECT_EQ(rig.Run({"build-image", flash, eeprom}), cli::status::Usage) << c.why;
        const std::string named = flash + " (" + std::to_string(c.text.size()) + " bytes)";
        EXPECT_NE(rig.err.find(named), std::string::npos) << rig.err;
        EXPECT_NE(rig.err.find(c.why), std::string::npos) << rig.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("flash_Crypt.hex"))) << c.why;
    }
    // Plain bytes of the wrong size are named with their size too.
    CliRig rig;
    const std::string flash = WriteFile(dir.File("f.bin"), {0, 1});
    EXPECT_EQ(rig.Run({"build-image", flash,
                       WriteFile(dir.File("big.bin"), std::vector<std::uint8_t>(513, 0))}),
              cli::status::Usage);
    EXPECT_NE(rig.err.find("big.bin (513 bytes)"), std::string::npos) << rig.err;
}
