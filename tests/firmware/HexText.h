#pragma once
// Intel HEX text as a compiler writes it, for the tests of the builder's inputs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace imconf::test {

// One record with its checksum and a CR LF line end.
inline std::string HexRecord(std::uint8_t type, std::uint16_t address,
                             const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (const auto b : bytes)
        sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(0x100 - sum));
    std::string line = ":";
    char digits[3];
    for (const auto b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\r\n";
}

inline const std::string kHexEnd = ":00000001FF\r\n";

// `bytes` from address 0 as 16-byte data records and the end-of-file record; every `skip`-th
// data record left out (none when 0).
inline std::string HexOf(const std::vector<std::uint8_t>& bytes, std::size_t skip = 0)
{
    std::string text;
    for (std::size_t at = 0, n = 0; at < bytes.size(); at += 16, ++n) {
        if (skip != 0 && n % skip == skip - 1)
            continue;
        const std::size_t length = std::min<std::size_t>(16, bytes.size() - at);
        text += HexRecord(0, static_cast<std::uint16_t>(at),
                          {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + length)});
    }
    return text + kHexEnd;
}

inline std::vector<std::uint8_t> BytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

}  // namespace imconf::test
