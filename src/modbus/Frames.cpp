#include "modbus/Frames.h"

#include "modbus/Crc16.h"

#include <algorithm>
#include <stdexcept>

namespace imconf {

std::uint8_t ReadReplyLength(std::uint16_t count)
{
    const unsigned length = 5u + 2u * std::max<unsigned>(count, 1u);
    if (length > 0xFF)
        throw std::length_error("reply length of the read does not fit a byte");
    return static_cast<std::uint8_t>(length);
}

namespace {

void RequireRoom(std::span<std::uint8_t> frame, std::size_t length)
{
    if (frame.size() < length)
        throw std::length_error("frame buffer too small for the request");
}

std::size_t BuildFixed(std::span<std::uint8_t> frame, std::uint8_t address, std::uint8_t function,
                       std::uint16_t a, std::uint16_t b)
{
    RequireRoom(frame, 8);
    frame[0] = address;
    frame[1] = function;
    WriteBe16(frame.data(), 2, a);
    WriteBe16(frame.data(), 4, b);
    PlaceCrc(frame.data(), 6);
    return 8;
}

}  // namespace

std::size_t BuildReadRegisters(std::span<std::uint8_t> frame, std::uint8_t address,
                               std::uint16_t first, std::uint16_t count)
{
    return BuildFixed(frame, address, fn::ReadHoldingRegisters, first, count);
}

std::size_t BuildWriteRegister(std::span<std::uint8_t> frame, std::uint8_t address,
                               std::uint16_t reg, std::uint16_t value)
{
    return BuildFixed(frame, address, fn::WriteSingleRegister, reg, value);
}

std::size_t BuildWriteRegisters(std::span<std::uint8_t> frame, std::uint8_t address,
                                std::uint16_t first, std::span<const std::uint16_t> values)
{
    if (values.size() > kMaxRegistersPerRequest)
        throw std::length_error("too many registers for one request");
    const std::size_t dataBytes = 2 * values.size();
    const std::size_t length = 9 + dataBytes;
    RequireRoom(frame, length);
    frame[0] = address;
    frame[1] = fn::WriteMultipleRegisters;
    WriteBe16(frame.data(), 2, first);
    WriteBe16(frame.data(), 4, static_cast<std::uint16_t>(values.size()));
    frame[6] = static_cast<std::uint8_t>(dataBytes);
    for (std::size_t i = 0; i < values.size(); ++i)
        WriteBe16(frame.data(), 7 + 2 * i, values[i]);
    PlaceCrc(frame.data(), static_cast<std::uint16_t>(7 + dataBytes));
    return length;
}

}  // namespace imconf
