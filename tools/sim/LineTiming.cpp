#include "LineTiming.h"

#include <algorithm>

namespace imconf::sim {

unsigned BaudFromCode(std::uint16_t code)
{
    if (code < 1 || code > kSpeeds.size())
        return 0;
    return kSpeeds[code - 1];
}

std::uint16_t CodeFromBaud(unsigned baud)
{
    for (std::size_t i = 0; i < kSpeeds.size(); ++i)
        if (kSpeeds[i] == baud)
            return static_cast<std::uint16_t>(i + 1);
    return 0;
}

TMicros LineTime(std::size_t bytes, unsigned baud)
{
    if (baud == 0)
        return TMicros{0};
    const auto bits = static_cast<std::uint64_t>(bytes) * kBitsPerByte;
    return TMicros{static_cast<TMicros::rep>(bits * 1'000'000u / baud)};
}

TMicros SilenceGap(unsigned baud, TMicros minimum)
{
    // 3.5 characters = 35 bits.
    const TMicros gap = baud == 0 ? minimum : TMicros{35 * 1'000'000LL / baud};
    return std::max(gap, minimum);
}

}  // namespace imconf::sim
