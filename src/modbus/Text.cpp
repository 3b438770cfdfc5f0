#include "modbus/Text.h"

namespace imconf {

std::string ByteToHex(std::uint8_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string{digits[value >> 4], digits[value & 0x0F]};
}

std::string FormatZeroPadded(std::uint16_t value, std::uint8_t width)
{
    std::string text = std::to_string(value);
    if (text.size() < width)
        text.insert(0, width - text.size(), '0');
    return text;
}

}  // namespace imconf
