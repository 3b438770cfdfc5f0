#pragma once
// Small text helpers shared by the trace and the window texts.

#include <cstdint>
#include <string>

namespace imconf {

// Two upper-case hexadecimal digits.
std::string ByteToHex(std::uint8_t value);

// Decimal digits of `value`, padded with leading zeros to `width`; never cut.
std::string FormatZeroPadded(std::uint16_t value, std::uint8_t width);

}  // namespace imconf
