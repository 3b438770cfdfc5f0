#pragma once
// The speeds the tool and the module use, by BaudIndex 0..7: 1200 .. 57600 baud.

#include "serial/ComTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace imconf {

constexpr std::size_t kSpeedCount = 8;
constexpr std::uint8_t kDefaultBaudIndex = 3;  // 9600

const char* SpeedText(std::uint8_t baudIndex);  // "1200" .. "57600"; nullptr above 7
// The speed's text; "9600" for an index above 7.
std::string SpeedName(std::uint8_t baudIndex);
TBaudRate BaudRateOfIndex(std::uint8_t baudIndex);

}  // namespace imconf
