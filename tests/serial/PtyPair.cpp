// Uses termios2 to see any speed; must not include <termios.h>.
#include "PtyPair.h"

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace imconf::test {

namespace {

termios2 GetModes(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 on the master failed");
    return t;
}

void SetModes(int fd, const termios2& t)
{
    if (::ioctl(fd, TCSETS2, &t) != 0)
        throw std::runtime_error("TCSETS2 on the master failed");
}

}  // namespace

PtyPair::PtyPair()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    termios2 t = GetModes(master_);
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS)) | CS8 |
                CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    SetModes(master_, t);
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::Send(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("write to the master failed");
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

std::string PtyPair::Receive(std::size_t want, int timeoutMs)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0)
            got.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;  // the slave side is closed (EIO)
    }
    return got;
}

SlaveModes PtyPair::Modes() const
{
    const termios2 t = GetModes(master_);
    SlaveModes m;
    m.speed = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: m.dataBits = 5; break;
    case CS6: m.dataBits = 6; break;
    case CS7: m.dataBits = 7; break;
    default: m.dataBits = 8; break;
    }
    m.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    m.parity = (t.c_cflag & PARENB) != 0;
    m.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    m.hangupOnClose = (t.c_cflag & HUPCL) != 0;
    m.localLine = (t.c_cflag & CLOCAL) != 0;
    m.receiver = (t.c_cflag & CREAD) != 0;
    m.canonical = (t.c_lflag & ICANON) != 0;
    m.echo = (t.c_lflag & ECHO) != 0;
    m.signals = (t.c_lflag & ISIG) != 0;
    m.crToNl = (t.c_iflag & ICRNL) != 0;
    m.outputProcessing = (t.c_oflag & OPOST) != 0;
    m.xonXoffOut = (t.c_iflag & IXON) != 0;
    m.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    return m;
}

void PtyPair::MakeCooked()
{
    termios2 t = GetModes(master_);
    t.c_iflag |= ICRNL | IXON | IXOFF;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | CLOCAL);
    t.c_cflag |= BOTHER | CRTSCTS | HUPCL | CSTOPB;
    t.c_ospeed = 38400;
    t.c_ispeed = 38400;
    SetModes(master_, t);
}

void PtyPair::SetSpeed(std::uint32_t baud)
{
    termios2 t = GetModes(master_);
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD);
    t.c_cflag |= BOTHER;
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    SetModes(master_, t);
}

double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace imconf::test
