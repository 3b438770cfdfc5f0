#include "modbus/Crc16.h"

namespace imconf {

std::uint16_t Crc16(const std::uint8_t* bytes, std::uint16_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint16_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1u)
                crc = static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u);
            else
                crc = static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

void PlaceCrc(std::uint8_t* bytes, std::uint16_t length)
{
    const std::uint16_t crc = Crc16(bytes, length);
    bytes[length] = static_cast<std::uint8_t>(crc & 0xFF);
    bytes[length + 1] = static_cast<std::uint8_t>(crc >> 8);
}

bool CrcMatches(const std::uint8_t* bytes, std::size_t length)
{
    if (length < 2 || length > 0xFFFF)
        return false;
    const auto covered = static_cast<std::uint16_t>(length - 2);
    const std::uint16_t crc = Crc16(bytes, covered);
    return bytes[covered] == (crc & 0xFF) && bytes[covered + 1] == (crc >> 8);
}

}  // namespace imconf
