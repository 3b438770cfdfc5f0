#include "Bootloader.h"
#include "ModuleSimulator.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using namespace imconf;
using namespace imconf::sim;
using namespace imconf::sim::test;

namespace {

TBytes PageFrame(std::uint8_t page, std::uint8_t fill)
{
    TBytes frame(boot::PageSize, fill);
    frame[0] = page;  // so every page differs
    frame.push_back(page);
    return WithCrc(frame);
}

TBytes BlockFrame(std::uint8_t block, std::uint8_t fill)
{
    TBytes frame(boot::BlockSize, fill);
    frame.push_back(block);
    return WithCrc(frame);
}

const TBytes kClosing{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1B};
const TBytes kAck{0x07, 0xA5};

}  // namespace

TEST(Bootloader, AcknowledgesAndStoresGoodFrames)
{
    TBootloader boot;
    EXPECT_EQ(boot.Handle(PageFrame(0, 0x11)).bytes, kAck);
    EXPECT_EQ(boot.Handle(PageFrame(27, 0x22)).bytes, kAck);
    EXPECT_EQ(boot.Handle(BlockFrame(0, 0x33)).bytes, kAck);
    EXPECT_EQ(boot.Handle(BlockFrame(31, 0x44)).bytes, kAck);
    EXPECT_FALSE(boot.Complete());
    EXPECT_EQ(WithCrc(TBytes(6, 0)), kClosing);
    EXPECT_EQ(boot.Handle(kClosing).bytes, kAck);
    EXPECT_TRUE(boot.Complete());

    const auto& flash = boot.Flash();
    EXPECT_EQ(flash[0], 0);  // page index written into byte 0 by PageFrame
    EXPECT_EQ(flash[1], 0x11);
    EXPECT_EQ(flash[511], 0x11);
    EXPECT_EQ(flash[512], boot::Erased);  // page 1 never came
    EXPECT_EQ(flash[27 * 512], 27);
    EXPECT_EQ(flash[27 * 512 + 511], 0x22);
    const auto& eeprom = boot.Eeprom();
    EXPECT_EQ(eeprom[0], 0x33);
    EXPECT_EQ(eeprom[15], 0x33);
    EXPECT_EQ(eeprom[16], boot::Erased);
    EXPECT_EQ(eeprom[31 * 16], 0x44);
    EXPECT_EQ(eeprom[511], 0x44);

    EXPECT_EQ(boot.PagesReceived(), 2u);
    EXPECT_EQ(boot.BlocksReceived(), 2u);
    EXPECT_EQ(boot.PagesSeen(), (1u << 0) | (1u << 27));
    EXPECT_EQ(boot.BlocksSeen(), (1u << 0) | (1u << 31));
    EXPECT_EQ(boot.RejectedFrames(), 0u);
}

TEST(Bootloader, EverythingElseGetsNoAnswer)
{
    TBootloader boot;
    TBytes badCrc = PageFrame(3, 0x55);
    badCrc[100] ^= 0x01;
    TBytes nonZeroClosing = WithCrc({0x00, 0x00, 0x00, 0x01, 0x00, 0x00});
    const TBytes rejected[] = {
        PageFrame(28, 0x55),    // page index beyond the FLASH
        BlockFrame(128, 0x66),  // block index beyond the EEPROM
        badCrc,                 //
        nonZeroClosing,         // 8 bytes, good CRC, not the closing frame
        TBytes(kClosing.begin(), kClosing.begin() + 7),
        WithCrc(TBytes(16, 0x00)),                  // one byte short of a block
        ReadFrame(247, 0, 1),                       // Modbus: 8 bytes, good CRC, but not all zero
        WithCrc(TBytes(boot::PageSize + 2, 0x00)),  // 516 bytes
        TBytes{},
    };
    for (const auto& frame : rejected)
        EXPECT_TRUE(boot.Handle(frame).Empty()) << "frame of " << frame.size() << " bytes";
    EXPECT_EQ(boot.RejectedFrames(), std::size(rejected));
    EXPECT_EQ(boot.PagesReceived() + boot.BlocksReceived() + boot.ClosingFramesReceived(), 0u);
    EXPECT_FALSE(boot.Complete());
    for (std::uint8_t b : boot.Flash())
        ASSERT_EQ(b, boot::Erased);
    for (std::uint8_t b : boot.Eeprom())
        ASSERT_EQ(b, boot::Erased);
}

TEST(Bootloader, DumpWritesFlashThenEeprom)
{
    TBootloader boot;
    boot.Handle(PageFrame(1, 0xA1));
    boot.Handle(BlockFrame(2, 0xB2));
    char folder[] = "/tmp/imconf-sim-dump-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/store.bin";
    ASSERT_EQ(boot.Dump(path), "");

    std::ifstream file(path, std::ios::binary);
    const TBytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(data.size(), 14336u + 2048u);
    EXPECT_EQ(data[0], boot::Erased);
    EXPECT_EQ(data[512], 1);
    EXPECT_EQ(data[513], 0xA1);
    EXPECT_EQ(data[14336 + 31], boot::Erased);
    EXPECT_EQ(data[14336 + 32], 0xB2);
    EXPECT_EQ(data[14336 + 47], 0xB2);
    std::remove(path.c_str());

    EXPECT_NE(boot.Dump(std::string(folder) + "/missing/store.bin"), "");
    ::rmdir(folder);
}

TEST(Bootloader, SimulatorInBootloaderMode)
{
    TModuleSimulator sim;
    sim.SetMode(TMode::Bootloader);
    sim.SetThinkTime(std::chrono::milliseconds(12));
    EXPECT_EQ(sim.LineBaud(), 19200u);
    EXPECT_TRUE(sim.Receive(ReadFrame(247, 0, 1)).Empty());  // no Modbus in the bootloader
    const TReply ack = sim.Receive(BlockFrame(5, 0));
    EXPECT_EQ(ack.bytes, kAck);
    EXPECT_EQ(ack.delay, std::chrono::milliseconds(12));
    sim.SetMode(TMode::Modbus);
    EXPECT_EQ(sim.LineBaud(), 9600u);
    EXPECT_FALSE(sim.Receive(ReadFrame(247, 0, 1)).Empty());
}
