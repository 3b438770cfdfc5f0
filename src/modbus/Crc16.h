#pragma once
// Modbus CRC-16 (initial 0xFFFF, reflected polynomial 0xA001, no final XOR).
// Every frame of the tool, Modbus or bootloader, ends in this CRC, low byte first.

#include <cstddef>
#include <cstdint>

namespace imconf {

std::uint16_t Crc16(const std::uint8_t* bytes, std::uint16_t length);

// Writes the CRC of bytes[0..length) at bytes[length] (low) and bytes[length + 1] (high).
// The caller guarantees room for two more bytes.
void PlaceCrc(std::uint8_t* bytes, std::uint16_t length);

// True when the last two of `length` bytes are the CRC of the bytes before them.
// Fewer than 2 bytes never pass; 2 bytes are checked against the CRC of nothing (0xFFFF).
bool CrcMatches(const std::uint8_t* bytes, std::size_t length);

}  // namespace imconf
