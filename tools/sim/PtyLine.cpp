// The kernel's termios2 cannot be used next to <termios.h>, hence a file of its own.
#include "PtyLine.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace imconf::sim {

namespace {

unsigned FromCode(tcflag_t code)
{
    struct TEntry {
        tcflag_t code;
        unsigned baud;
    };
    static const TEntry table[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                   {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                   {B57600, 57600}, {B115200, 115200}};
    for (const auto& entry : table)
        if (entry.code == code)
            return entry.baud;
    return 0;
}

}  // namespace

unsigned LineSpeed(int fd)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    if (t.c_ospeed != 0)
        return t.c_ospeed;
    return FromCode(t.c_cflag & CBAUD);
}

bool SetRawLine(int fd, unsigned baud)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &=
        ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CS8 | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace imconf::sim
