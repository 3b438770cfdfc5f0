// The bootloader's frames and the order the upgrade sends them in.

#include "firmware/BootFrames.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

using namespace imconf;

TEST(BootFrames, StepPlanSendsBlock31LastAlsoWhenTheFileHasIt)
{
    FirmwareImage image;
    image.EepromBlockCount = 40;  // the file's blocks reach past block 31
    EXPECT_EQ(UpgradeFrameCount(image), 70u);
    std::uint8_t number = 0;
    EXPECT_EQ(FrameOfStep(image, 27, number), BootFrame::FlashPage);
    EXPECT_EQ(number, 27);
    EXPECT_EQ(FrameOfStep(image, 28 + 31, number), BootFrame::EepromBlock);
    EXPECT_EQ(number, 31);
    EXPECT_EQ(FrameOfStep(image, 28 + 39, number), BootFrame::EepromBlock);
    EXPECT_EQ(number, 39);
    EXPECT_EQ(FrameOfStep(image, 28 + 40, number), BootFrame::EepromBlock);
    EXPECT_EQ(number, kCrcBlock) << "block 31 goes out again, after the file's blocks";
    EXPECT_EQ(FrameOfStep(image, 69, number), BootFrame::End);
}

TEST(BootFrames, FramesCarryTheirNumberAndCrc)
{
    FirmwareImage image;
    for (std::size_t i = 0; i < image.FlashImage.size(); ++i)
        image.FlashImage[i] = static_cast<std::uint8_t>(i * 7);
    TFrameBuffer buffer{};
    ASSERT_EQ(BuildFlashPageFrame(buffer, image, 27), 515u);
    EXPECT_EQ(buffer[0], image.FlashImage[512 * 27]);
    EXPECT_EQ(buffer[512], 27);
    EXPECT_TRUE(CrcMatches(buffer.data(), 515));
    ASSERT_EQ(BuildEepromBlockFrame(buffer, image, kCrcBlock), 19u);
    EXPECT_EQ(buffer[16], kCrcBlock);
    EXPECT_TRUE(CrcMatches(buffer.data(), 19));
    ASSERT_EQ(BuildUpgradeEndFrame(buffer), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 8),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x1B}));
    const std::uint8_t ack[] = {0x07, 0xA5, 0x00};
    EXPECT_TRUE(IsBootAck(ack, 2));
    EXPECT_FALSE(IsBootAck(ack, 3));
}
