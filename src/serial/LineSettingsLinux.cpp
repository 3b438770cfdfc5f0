// termios2 code; must not include <termios.h>.
#include "serial/LineSettings.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace imconf::linuxtty {

namespace {

tcflag_t SizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

constexpr tcflag_t kFramingMask = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

bool SpeedTaken(std::uint32_t asked, std::uint32_t actual)
{
    const std::uint64_t diff = asked > actual ? asked - actual : actual - asked;
    return diff * 1000 <= static_cast<std::uint64_t>(asked) * kSpeedTolerancePerMille;
}

}  // namespace

int SetLineSettings(int fd, const LineSettings& s)
{
    if (s.baud == 0 || s.dataBits < 5 || s.dataBits > 8)
        return EINVAL;

    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;

    t.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                               IXOFF | IXANY | IMAXBEL | IUCLC | INPCK | IGNPAR | IUTF8);
    if (s.parityCheck)
        t.c_iflag |= INPCK;
    if (s.xonXoffOut)
        t.c_iflag |= IXON;
    if (s.xonXoffIn)
        t.c_iflag |= IXOFF;

    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                                        ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);

    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | kFramingMask | HUPCL);
    t.c_cflag |= BOTHER | CREAD | CLOCAL | SizeFlag(s.dataBits);
    if (s.twoStopBits)
        t.c_cflag |= CSTOPB;
    switch (s.parity) {
    case LineParity::None: break;
    case LineParity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case LineParity::Even: t.c_cflag |= PARENB; break;
    case LineParity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case LineParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (s.rtsCtsFlow)
        t.c_cflag |= CRTSCTS;
    // CIBAUD left at 0: the input speed follows the output speed.
    t.c_ospeed = s.baud;
    t.c_ispeed = s.baud;

    t.c_cc[VMIN] = 1;  // a non-blocking read then reports "nothing yet" instead of end of file
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;

    const tcflag_t wanted = t.c_cflag & kFramingMask;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return errno;

    struct termios2 back {};
    if (::ioctl(fd, TCGETS2, &back) != 0)
        return errno;
    if ((back.c_cflag & kFramingMask) != wanted || !SpeedTaken(s.baud, back.c_ospeed))
        return EINVAL;
    return 0;
}

int GetLineSpeed(int fd, std::uint32_t& baud)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    baud = t.c_ospeed;
    return 0;
}

}  // namespace imconf::linuxtty
