#pragma once
// Line settings of a Linux terminal device, applied through the termios2 interface so that
// any speed can be asked for, not only the POSIX speed constants. Kept apart from <termios.h>,
// whose declarations clash with the kernel's termios2 header.

#include <cstdint>

namespace imconf::linuxtty {

enum class LineParity : std::uint8_t { None, Odd, Even, Mark, Space };

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;  // 5..8
    bool twoStopBits = false;
    LineParity parity = LineParity::None;
    bool parityCheck = false;
    bool rtsCtsFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    unsigned char xonChar = 0x11;
    unsigned char xoffChar = 0x13;
};

// A speed read back counts as taken when it is within this many per mille of the speed asked
// for (a UART divisor rarely hits a speed exactly; a real fallback is much further off).
constexpr std::uint32_t kSpeedTolerancePerMille = 20;

// Puts the device in raw mode with `settings` (receiver on, modem control lines ignored, no
// hang-up on close, reads of at least one byte) and reads the settings back. Returns 0, the
// errno of a failing call, or EINVAL when the speed asked for is 0 or the driver kept another
// speed or framing.
int SetLineSettings(int fd, const LineSettings& settings);

// The output speed the device runs at, in bits per second; returns 0 or an errno.
int GetLineSpeed(int fd, std::uint32_t& baud);

}  // namespace imconf::linuxtty
