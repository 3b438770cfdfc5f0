// <asm/termbits.h> cannot be used next to <termios.h>, hence a file of its own.
#include "PeerLine.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace peer {

unsigned LineSpeed(int fd)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    if ((t.c_cflag & CBAUD) == BOTHER)
        return t.c_ospeed;
    switch (t.c_cflag & CBAUD) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    default: return t.c_ospeed;
    }
}

bool SetRawLine(int fd, unsigned baud)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CS8 | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace peer
