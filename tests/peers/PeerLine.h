#pragma once
// Line settings of the peer's pseudo-terminal through termios2, which knows every speed
// (14400 baud has no B constant). On the master side they are the settings the program at
// the slave side has chosen.

namespace peer {

// The line's speed in baud, 0 when it cannot be read.
unsigned LineSpeed(int fd);
// Raw 8N1 at `baud`, receiver on. False on failure.
bool SetRawLine(int fd, unsigned baud);

}  // namespace peer
