#pragma once
// The frames of the bootloader upgrade, built from the in-memory image. Each carries the
// CRC-16 of the bytes before it, low byte first; the bootloader answers each with 07 A5.
//
// Step plan (B = EepromBlockCount): steps 0..27 the FLASH pages, 28..27+B the EEPROM blocks
// of the file, 28+B EEPROM block 31 (it carries the image CRC), 29+B the closing frame; the
// acknowledgement of the closing frame completes the upgrade.

#include "firmware/Firmware.h"
#include "modbus/Frames.h"

#include <cstddef>
#include <cstdint>

namespace imconf {

constexpr std::uint8_t kBootAckLength = 2;
constexpr std::uint8_t kBootAck0 = 0x07;
constexpr std::uint8_t kBootAck1 = 0xA5;
constexpr std::uint8_t kCrcBlock = 31;
constexpr std::size_t kUpgradeEndLength = 8;

enum class BootFrame { FlashPage, EepromBlock, End };

// Frames an upgrade sends: 30 + B.
std::size_t UpgradeFrameCount(const FirmwareImage& image);

// What step `step` sends, and for a page or block its number.
BootFrame FrameOfStep(const FirmwareImage& image, std::size_t step, std::uint8_t& number);

// 512 bytes of page `page`, the page number, the CRC: 515 bytes.
std::size_t BuildFlashPageFrame(TFrameBuffer& buffer, const FirmwareImage& image,
                                std::uint8_t page);
// 16 bytes of block `block`, the block number, the CRC: 19 bytes.
std::size_t BuildEepromBlockFrame(TFrameBuffer& buffer, const FirmwareImage& image,
                                  std::uint8_t block);
// Six zero bytes and their CRC: 00 00 00 00 00 00 00 1B.
std::size_t BuildUpgradeEndFrame(TFrameBuffer& buffer);

// The bootloader's acknowledgement: exactly the two bytes 07 A5.
bool IsBootAck(const std::uint8_t* reply, std::size_t length);

}  // namespace imconf
