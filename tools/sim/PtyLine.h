#pragma once
// Line settings of a terminal through the termios2 interface, which knows every speed
// (14400 baud has no B constant). On a pseudo-terminal master these calls read and change
// the settings of the slave side, i.e. what the program at the other end has chosen.

namespace imconf::sim {

// Output speed in baud, 0 when it cannot be read.
unsigned LineSpeed(int fd);
// Raw mode, 8 data bits, no parity, one stop bit, receiver on, at `baud`. False on failure.
bool SetRawLine(int fd, unsigned baud);

}  // namespace imconf::sim
