#pragma once
// Frames and reply decoding shared by the simulator tests.

#include "modbus/Crc16.h"
#include "modbus/Frames.h"

#include <cstdint>
#include <span>
#include <vector>

namespace imconf::sim::test {

using TBytes = std::vector<std::uint8_t>;

inline TBytes ReadFrame(std::uint8_t address, std::uint16_t first, std::uint16_t count)
{
    TFrameBuffer buffer{};
    const std::size_t n = BuildReadRegisters(buffer, address, first, count);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
}

inline TBytes WriteFrame(std::uint8_t address, std::uint16_t reg, std::uint16_t value)
{
    TFrameBuffer buffer{};
    const std::size_t n = BuildWriteRegister(buffer, address, reg, value);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
}

inline TBytes WriteManyFrame(std::uint8_t address, std::uint16_t first,
                             std::span<const std::uint16_t> values)
{
    TFrameBuffer buffer{};
    const std::size_t n = BuildWriteRegisters(buffer, address, first, values);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
}

// Any frame from its bytes before the CRC.
inline TBytes WithCrc(TBytes bytes)
{
    const auto n = static_cast<std::uint16_t>(bytes.size());
    bytes.resize(bytes.size() + 2);
    PlaceCrc(bytes.data(), n);
    return bytes;
}

// Register values of a function-3 reply; empty when the reply is not one.
inline std::vector<std::uint16_t> Values(const TBytes& reply)
{
    std::vector<std::uint16_t> out;
    if (reply.size() < 5 || reply[1] != 0x03 || reply.size() != 5u + reply[2] ||
        !CrcMatches(reply.data(), reply.size()))
        return out;
    for (std::size_t i = 0; i < reply[2] / 2u; ++i)
        out.push_back(ReadBe16(reply.data(), 3 + 2 * i));
    return out;
}

}  // namespace imconf::sim::test
