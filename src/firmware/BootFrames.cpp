#include "firmware/BootFrames.h"

#include "modbus/Crc16.h"

#include <algorithm>

namespace imconf {

std::size_t UpgradeFrameCount(const FirmwareImage& image)
{
    return kFlashPages + image.EepromBlockCount + 2;
}

BootFrame FrameOfStep(const FirmwareImage& image, std::size_t step, std::uint8_t& number)
{
    const std::size_t blocks = image.EepromBlockCount;
    if (step < kFlashPages) {
        number = static_cast<std::uint8_t>(step);
        return BootFrame::FlashPage;
    }
    if (step < kFlashPages + blocks) {
        number = static_cast<std::uint8_t>(step - kFlashPages);
        return BootFrame::EepromBlock;
    }
    if (step == kFlashPages + blocks) {
        number = kCrcBlock;
        return BootFrame::EepromBlock;
    }
    number = 0;
    return BootFrame::End;
}

std::size_t BuildFlashPageFrame(TFrameBuffer& buffer, const FirmwareImage& image, std::uint8_t page)
{
    std::copy_n(image.FlashImage.begin() + static_cast<std::ptrdiff_t>(kFlashPageSize * page),
                kFlashPageSize, buffer.begin());
    buffer[kFlashPageSize] = page;
    PlaceCrc(buffer.data(), kFlashPageSize + 1);
    return kFlashPageSize + 3;
}

std::size_t BuildEepromBlockFrame(TFrameBuffer& buffer, const FirmwareImage& image,
                                  std::uint8_t block)
{
    std::copy_n(image.EepromImage.begin() + static_cast<std::ptrdiff_t>(kEepromBlockSize * block),
                kEepromBlockSize, buffer.begin());
    buffer[kEepromBlockSize] = block;
    PlaceCrc(buffer.data(), kEepromBlockSize + 1);
    return kEepromBlockSize + 3;
}

std::size_t BuildUpgradeEndFrame(TFrameBuffer& buffer)
{
    std::fill_n(buffer.begin(), kUpgradeEndLength - 2, std::uint8_t{0});
    PlaceCrc(buffer.data(), kUpgradeEndLength - 2);
    return kUpgradeEndLength;
}

bool IsBootAck(const std::uint8_t* reply, std::size_t length)
{
    return length == kBootAckLength && reply[0] == kBootAck0 && reply[1] == kBootAck1;
}

}  // namespace imconf
