#pragma once
// Line time of the module's serial line (8 data bits, no parity, one stop bit: 10 bits a byte)
// and the module's speed codes. Durations are plain std::chrono values, so the same numbers
// drive a real pseudo-terminal and an in-process virtual line.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace imconf::sim {

using TMicros = std::chrono::microseconds;

constexpr unsigned kBitsPerByte = 10;

// The module's speeds; speed code c (1..8) stands for kSpeeds[c - 1].
constexpr std::array<unsigned, 8> kSpeeds{1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600};
constexpr std::uint16_t kDefaultSpeedCode = 4;  // 9600 baud
constexpr unsigned kBootloaderBaud = 19200;

// Baud rate of a speed code, 0 for a code outside 1..8.
unsigned BaudFromCode(std::uint16_t code);
// Speed code of a baud rate, 0 when the module has no such speed.
std::uint16_t CodeFromBaud(unsigned baud);

// Time that `bytes` bytes take on the line at `baud`, rounded down to whole microseconds.
// Computed from the byte count in one step, so deadlines derived from it never drift.
TMicros LineTime(std::size_t bytes, unsigned baud);
inline TMicros ByteTime(unsigned baud)
{
    return LineTime(1, baud);
}

// Silence that ends an RTU frame: 3.5 character times, but never less than `minimum`
// (a pseudo-terminal or a busy machine does not keep character timing).
constexpr TMicros kMinimumGap{5000};
TMicros SilenceGap(unsigned baud, TMicros minimum = kMinimumGap);

// Time the module takes before the first byte of its reply.
constexpr TMicros kDefaultThinkTime{3000};

}  // namespace imconf::sim
