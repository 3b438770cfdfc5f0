#pragma once
// The module's bootloader: raw stop-and-wait frames at 19200 baud, no address, no function
// code. A FLASH page, an EEPROM block or the closing frame with a good CRC is stored and
// acknowledged with 07 A5; anything else gets no answer.

#include "ModbusSlave.h"  // TReply

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace imconf::sim {

namespace boot {
constexpr std::size_t PageSize = 512;
constexpr std::size_t PageCount = 28;
constexpr std::size_t FlashSize = PageSize * PageCount;  // 14336
constexpr std::size_t BlockSize = 16;
constexpr std::size_t BlockCount = 128;  // an upgrade file may carry up to 2048 EEPROM bytes
constexpr std::size_t EepromSize = BlockSize * BlockCount;  // 2048
constexpr std::size_t PageFrameLength = PageSize + 3;       // data, page index, CRC
constexpr std::size_t BlockFrameLength = BlockSize + 3;     // data, block index, CRC
constexpr std::size_t ClosingFrameLength = 8;               // 00 00 00 00 00 00 00 1B
constexpr std::array<std::uint8_t, 2> Ack{0x07, 0xA5};
constexpr std::uint8_t Erased = 0xFF;
}  // namespace boot

class TBootloader {
public:
    TBootloader();

    TReply Handle(std::span<const std::uint8_t> frame);

    const std::array<std::uint8_t, boot::FlashSize>& Flash() const { return flash_; }
    const std::array<std::uint8_t, boot::EepromSize>& Eeprom() const { return eeprom_; }

    unsigned PagesReceived() const { return pages_; }
    unsigned BlocksReceived() const { return blocks_; }
    unsigned ClosingFramesReceived() const { return closings_; }
    unsigned RejectedFrames() const { return rejected_; }
    // True once a closing frame has been acknowledged.
    bool Complete() const { return closings_ > 0; }
    // Bit p set: page p has been received at least once (bit b of the other: block b < 32).
    std::uint32_t PagesSeen() const { return pagesSeen_; }
    std::uint32_t BlocksSeen() const { return blocksSeen_; }

    void SetThinkTime(TMicros t) { think_ = t; }

    // Writes FLASH then EEPROM (14336 + 2048 bytes) to `path`. Returns an error text, empty on success.
    std::string Dump(const std::string& path) const;

private:
    TReply Ack() const;

    std::array<std::uint8_t, boot::FlashSize> flash_;
    std::array<std::uint8_t, boot::EepromSize> eeprom_;
    unsigned pages_ = 0, blocks_ = 0, closings_ = 0, rejected_ = 0;
    std::uint32_t pagesSeen_ = 0, blocksSeen_ = 0;
    TMicros think_ = kDefaultThinkTime;
};

}  // namespace imconf::sim
