#pragma once
// Byte layout of the Modbus RTU requests the tool sends (functions 3, 6 and 16)
// and the reply lengths they expect.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace imconf {

constexpr std::size_t kFrameBufferSize = 1028;
using TFrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

namespace fn {
constexpr std::uint8_t ReadHoldingRegisters = 0x03;
constexpr std::uint8_t WriteSingleRegister = 0x06;
constexpr std::uint8_t WriteMultipleRegisters = 0x10;
constexpr std::uint8_t ExceptionFlag = 0x80;
}  // namespace fn

// Largest register count the tool ever reads or writes in one request.
constexpr std::uint16_t kMaxRegistersPerRequest = 32;

// Reply length of a function-3 request: 5 + 2 x count, a count of 0 taken as 1.
// The tool never asks for more than 32 registers; a count whose reply length would not
// fit a byte (above 125) is a programming error and throws std::length_error.
std::uint8_t ReadReplyLength(std::uint16_t count);

// Replies to functions 6 and 16 are 8 bytes (echo of address, register, value/quantity).
constexpr std::uint8_t kWriteReplyLength = 8;

// Each builder fills `frame` from byte 0, places the CRC and returns the frame length.
std::size_t BuildReadRegisters(std::span<std::uint8_t> frame, std::uint8_t address,
                               std::uint16_t first, std::uint16_t count);
std::size_t BuildWriteRegister(std::span<std::uint8_t> frame, std::uint8_t address,
                               std::uint16_t reg, std::uint16_t value);
// Function 16 with `values.size()` registers (at most kMaxRegistersPerRequest):
// quantity = values.size(), byte count = 2 x quantity.
std::size_t BuildWriteRegisters(std::span<std::uint8_t> frame, std::uint8_t address,
                                std::uint16_t first, std::span<const std::uint16_t> values);

// Big-endian 16-bit value at bytes[at], bytes[at + 1].
inline std::uint16_t ReadBe16(const std::uint8_t* bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}
inline void WriteBe16(std::uint8_t* bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace imconf
