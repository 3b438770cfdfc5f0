#include "serial/ComDevice.h"

#include "serial/LineSettings.h"
#include "serial/NetworkPortName.h"
#include "serial/PortMarks.h"
#include "serial/PortNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <deque>
#include <mutex>
#include <fcntl.h>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace imconf {

namespace {

using Clock = std::chrono::steady_clock;

void CloseQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// Milliseconds left until `deadline`, rounded up, for poll(); 0 when it has passed.
int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(left.count(), INT_MAX));
}

std::optional<Clock::time_point> TotalDeadline(Clock::time_point start, int multiplier,
                                               int constant, int count)
{
    const long long total = static_cast<long long>(multiplier) * count + constant;
    if (total <= 0)
        return std::nullopt;
    return start + std::chrono::milliseconds(total);
}

constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

// One open terminal device, the signal that aborts its reads and writes, and the input queue
// into which the monitoring thread moves bytes nobody is reading yet (so that a
// level-triggered wait does not wake again for them).
class LinuxComDevice final : public ComDevice {
public:
    // Opens the terminal at `path` for reading and writing, exclusively (the marks of
    // PortMarks.h), and discards its stale input. Raises code 1 when the path cannot be
    // opened, is not a terminal, or another program holds it (EBUSY).
    static std::unique_ptr<LinuxComDevice> Open(const std::string& path);
    ~LinuxComDevice() override;
    LinuxComDevice(const LinuxComDevice&) = delete;
    LinuxComDevice& operator=(const LinuxComDevice&) = delete;

    // Settings; each raises its code (9, 7, 8) with EINVAL for values it cannot use.
    void SetBuffers(const TComBuffer& buffer) override;
    void SetLine(const ComLineSettings& line) override;
    void SetTimeouts(const TComTimeouts& timeouts) override;

    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int InputCount() override;
    int Cancel() override;
    void Purge() override;
    int Resume() override;

    // Only evRxChar is watched; a hang-up ends the wait for good.
    void StartMonitoring(TComEvents mask) override { watchRx_ = (mask & evRxChar) != 0; }
    TComEvents WaitEvents() override;
    // The queues are discarded when the device is closed.
    void EndMonitoring() override {}
    void StopMonitoring() override;
    int InputCountNoThrow() override;

private:
    LinuxComDevice(int fd, const linuxtty::PortMarks& marks, int cancelFd, int rxReadyFd);

    struct PumpResult {
        std::size_t added = 0;  // bytes stored (not those dropped on a full queue)
        bool gone = false;      // end of file or a read error: the device has vanished
    };
    // Moves the bytes the device holds into the input queue.
    PumpResult PumpInput();
    // Takes up to `count` bytes: first from the queue, then from the device. Under rxMutex_.
    int TakeInput(unsigned char* out, int count, int& error, bool& gone);
    void SetRxReady(bool ready);
    bool SignalCancel();

    const int fd_;
    linuxtty::PortMarks marks_;
    const int cancelFd_;   // eventfd; readable once Cancel or StopMonitoring was called
    const int rxReadyFd_;  // eventfd; readable while rxQueue_ is not empty
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> stopMonitoring_{false};
    // Set before the monitoring thread starts, constant afterwards.
    std::size_t rxCapacity_ = 1024;
    TComTimeouts timeouts_;
    bool watchRx_ = true;
    bool gone_ = false;  // monitoring thread only

    std::mutex rxMutex_;
    std::deque<unsigned char> rxQueue_;
    bool rxReady_ = false;
};

}  // namespace

const ComOsErrors& ComOsError()
{
    static const ComOsErrors errors{ECANCELED, EBADF};
    return errors;
}

std::unique_ptr<ComDevice> OpenComDevice(const std::string& name)
{
    if (IsNetworkPortName(name))
        return OpenNetworkDevice(name);
    return LinuxComDevice::Open(ResolvePortPath(name));
}

LinuxComDevice::LinuxComDevice(int fd, const linuxtty::PortMarks& marks, int cancelFd,
                               int rxReadyFd)
    : fd_(fd),
      marks_(marks),
      cancelFd_(cancelFd),
      rxReadyFd_(rxReadyFd)
{
}

std::unique_ptr<LinuxComDevice> LinuxComDevice::Open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EComPort(comerr::Open, errno);

    // Only a terminal is a port: a regular file, a directory or a FIFO named as one is
    // refused before anything is written to it.
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw EComPort(comerr::Open, error);
    }
    if (!S_ISCHR(st.st_mode) || ::isatty(fd) == 0) {
        ::close(fd);
        throw EComPort(comerr::Open, ENOTTY);
    }
    linuxtty::PortMarks marks;
    if (const int error = marks.Take(fd, path); error != 0) {
        ::close(fd);
        throw EComPort(comerr::Open, error, marks.Refusal());
    }

    // Low latency: USB adapters otherwise hold received bytes back for up to 16 ms. Not every
    // driver has the setting (a pseudo-terminal has none).
    struct serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }

    // A new port starts with empty queues.
    ::tcflush(fd, TCIOFLUSH);

    const int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int rxReadyFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0 || rxReadyFd < 0) {
        const int error = errno;
        CloseQuietly(cancelFd);
        CloseQuietly(rxReadyFd);
        marks.Release(fd);
        ::close(fd);
        throw EComPort(comerr::Open, error);
    }
    return std::unique_ptr<LinuxComDevice>(new LinuxComDevice(fd, marks, cancelFd, rxReadyFd));
}

LinuxComDevice::~LinuxComDevice()
{
    // The exclusive flag lives as long as the terminal does (for a pseudo-terminal, as long
    // as its master side), so ours is cleared for the next opener. Closing drops the lock.
    marks_.Release(fd_);
    ::close(fd_);
    ::close(cancelFd_);
    ::close(rxReadyFd_);
}

void LinuxComDevice::SetBuffers(const TComBuffer& buffer)
{
    if (buffer.InputSize <= 0 || buffer.OutputSize <= 0)
        throw EComPort(comerr::SetupComm, EINVAL);
    rxCapacity_ = static_cast<std::size_t>(buffer.InputSize);
}

void LinuxComDevice::SetLine(const ComLineSettings& settings)
{
    linuxtty::LineSettings line;
    line.baud = settings.baud;
    switch (settings.dataBits) {
    case TDataBits::dbFive: line.dataBits = 5; break;
    case TDataBits::dbSix: line.dataBits = 6; break;
    case TDataBits::dbSeven: line.dataBits = 7; break;
    case TDataBits::dbEight: line.dataBits = 8; break;
    default: throw EComPort(comerr::SetCommState, EINVAL);
    }
    switch (settings.stopBits) {
    case TStopBits::sbOneStopBit: line.twoStopBits = false; break;
    // A UART sends 1.5 stop bits when asked for two with five data bits.
    case TStopBits::sbOne5StopBits:
    case TStopBits::sbTwoStopBits: line.twoStopBits = true; break;
    default: throw EComPort(comerr::SetCommState, EINVAL);
    }
    switch (settings.parity.Bits) {
    case TParityBits::prNone: line.parity = linuxtty::LineParity::None; break;
    case TParityBits::prOdd: line.parity = linuxtty::LineParity::Odd; break;
    case TParityBits::prEven: line.parity = linuxtty::LineParity::Even; break;
    case TParityBits::prMark: line.parity = linuxtty::LineParity::Mark; break;
    case TParityBits::prSpace: line.parity = linuxtty::LineParity::Space; break;
    default: throw EComPort(comerr::SetCommState, EINVAL);
    }
    const TComFlowControl& flow = settings.flow;
    line.parityCheck = settings.parity.Check;
    line.rtsCtsFlow = flow.OutCTSFlow || flow.ControlRTS == TRTSFlowControl::rtsHandshake;
    line.xonXoffOut = flow.XonXoffOut;
    line.xonXoffIn = flow.XonXoffIn;
    line.xonChar = static_cast<unsigned char>(flow.XonChar);
    line.xoffChar = static_cast<unsigned char>(flow.XoffChar);

    const int error = linuxtty::SetLineSettings(fd_, line);
    if (error != 0)
        throw EComPort(comerr::SetCommState, error);

    // Modem lines; a device without them (a pseudo-terminal) refuses the request, which
    // is harmless.
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, flow.ControlDTR == TDTRFlowControl::dtrEnable ? TIOCMBIS : TIOCMBIC, &dtr);
    if (flow.ControlRTS != TRTSFlowControl::rtsHandshake && !flow.OutCTSFlow) {
        int rts = TIOCM_RTS;
        ::ioctl(fd_, flow.ControlRTS == TRTSFlowControl::rtsEnable ? TIOCMBIS : TIOCMBIC, &rts);
    }
}

void LinuxComDevice::SetTimeouts(const TComTimeouts& t)
{
    if (t.ReadInterval < -1 || t.ReadTotalMultiplier < 0 || t.ReadTotalConstant < 0 ||
        t.WriteTotalMultiplier < 0 || t.WriteTotalConstant < 0)
        throw EComPort(comerr::SetCommTimeouts, EINVAL);
    timeouts_ = t;
}

bool LinuxComDevice::SignalCancel()
{
    const std::uint64_t one = 1;
    return ::write(cancelFd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

int LinuxComDevice::Cancel()
{
    cancelled_.store(true);
    return SignalCancel() ? 0 : errno;
}

int LinuxComDevice::Resume()
{
    if (gone_)
        return EIO;
    std::uint64_t signalled = 0;
    (void)!::read(cancelFd_, &signalled, sizeof signalled);
    cancelled_.store(false);
    stopMonitoring_.store(false);
    // A terminal that was hung up (an adapter pulled out) refuses every request.
    int exclusive = 0;
    return ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 ? 0 : errno;
}

void LinuxComDevice::StopMonitoring()
{
    stopMonitoring_.store(true);
    SignalCancel();
}

TComEvents LinuxComDevice::WaitEvents()
{
    // Level-triggered wait: every byte that wakes it is moved into the input queue before
    // the next wait, so the wait never wakes twice for the same bytes. A hang-up is always
    // reported and ends the monitoring (after the bytes that came with it), as does the
    // abort signal.
    pollfd fds[2] = {{fd_, static_cast<short>(watchRx_ ? POLLIN : 0), 0}, {cancelFd_, POLLIN, 0}};
    for (;;) {
        if (gone_ || stopMonitoring_.load() || cancelled_.load())
            return 0;
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        if (fds[1].revents != 0)
            return 0;
        const short events = fds[0].revents;
        gone_ = (events & kGoneEvents) != 0;
        std::size_t added = 0;
        if ((events & POLLIN) != 0) {
            const PumpResult pumped = PumpInput();
            added = pumped.added;
            gone_ = gone_ || pumped.gone;
        }
        if (added > 0)
            return evRxChar;
    }
}

void LinuxComDevice::SetRxReady(bool ready)
{
    if (ready == rxReady_)
        return;
    std::uint64_t value = 1;
    if (ready)
        (void)!::write(rxReadyFd_, &value, sizeof value);
    else
        (void)!::read(rxReadyFd_, &value, sizeof value);
    rxReady_ = ready;
}

int LinuxComDevice::TakeInput(unsigned char* out, int count, int& error, bool& gone)
{
    std::lock_guard lock(rxMutex_);
    const auto fromQueue =
        static_cast<int>(std::min<std::size_t>(rxQueue_.size(), static_cast<std::size_t>(count)));
    std::copy_n(rxQueue_.begin(), fromQueue, out);
    rxQueue_.erase(rxQueue_.begin(), rxQueue_.begin() + fromQueue);
    SetRxReady(!rxQueue_.empty());

    int taken = fromQueue;
    while (taken < count) {
        const ssize_t n = ::read(fd_, out + taken, static_cast<std::size_t>(count - taken));
        if (n > 0) {
            taken += static_cast<int>(n);
            continue;
        }
        if (n == 0)
            gone = true;
        else if (errno == EINTR)
            continue;
        else if (errno != EAGAIN)
            error = errno;
        break;
    }
    return taken;
}

int LinuxComDevice::Read(void* buffer, int count)
{
    if (count == 0)
        return 0;
    if (count < 0)
        throw EComPort(comerr::ReadFile, EINVAL);
    if (buffer == nullptr)
        throw EComPort(comerr::ReadFile, EFAULT);

    auto* out = static_cast<unsigned char*>(buffer);
    const TComTimeouts t = timeouts_;
    const auto total =
        TotalDeadline(Clock::now(), t.ReadTotalMultiplier, t.ReadTotalConstant, count);
    Clock::time_point lastByte{};
    int got = 0;
    bool hangupSeen = false;

    for (;;) {
        if (cancelled_.load())
            throw EComPort(comerr::ReadFile, ECANCELED);

        int error = 0;
        bool gone = false;
        const int n = TakeInput(out + got, count - got, error, gone);
        if (n > 0) {
            got += n;
            lastByte = Clock::now();
        } else if (hangupSeen && error == 0) {
            gone = true;  // woken for a hang-up that the read itself did not report
        }
        if (got == count)
            return got;
        if (error != 0 || gone) {
            if (got > 0)
                return got;  // the bytes that came before the device vanished
            throw EComPort(comerr::ReadFile, error != 0 ? error : EIO);
        }
        if (got > 0 && t.ReadInterval < 0)
            return got;

        int waitMs = -1;
        if (got > 0 && t.ReadInterval > 0) {
            waitMs = MillisecondsLeft(lastByte + std::chrono::milliseconds(t.ReadInterval));
            if (waitMs == 0)
                return got;
        }
        if (total) {
            const int left = MillisecondsLeft(*total);
            if (left == 0)
                return got;
            waitMs = waitMs < 0 ? left : std::min(waitMs, left);
        }

        pollfd fds[3] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}, {rxReadyFd_, POLLIN, 0}};
        const int r = ::poll(fds, 3, waitMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw EComPort(comerr::ReadFile, errno);
        }
        if (fds[1].revents != 0)
            throw EComPort(comerr::ReadFile, ECANCELED);
        // A hang-up stays signalled; once no byte is left the read must end, not poll again.
        hangupSeen = (fds[0].revents & kGoneEvents) != 0;
        // r == 0: the interval or total limit ran out; the next round returns.
    }
}

int LinuxComDevice::Write(const void* buffer, int count)
{
    if (count == 0)
        return 0;
    if (count < 0)
        throw EComPort(comerr::WriteFile, EINVAL);
    if (buffer == nullptr)
        throw EComPort(comerr::WriteFile, EFAULT);

    const auto* in = static_cast<const unsigned char*>(buffer);
    const TComTimeouts t = timeouts_;
    const auto total =
        TotalDeadline(Clock::now(), t.WriteTotalMultiplier, t.WriteTotalConstant, count);
    int done = 0;
    for (;;) {
        if (cancelled_.load())
            throw EComPort(comerr::WriteFile, ECANCELED);
        const ssize_t n = ::write(fd_, in + done, static_cast<std::size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            if (done == count)
                return count;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            throw EComPort(comerr::WriteFile, errno);

        const int waitMs = total ? MillisecondsLeft(*total) : -1;
        if (waitMs == 0)
            throw EComPort(comerr::WriteFile, ETIMEDOUT);
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
        const int r = ::poll(fds, 2, waitMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw EComPort(comerr::WriteFile, errno);
        }
        if (fds[1].revents != 0)
            throw EComPort(comerr::WriteFile, ECANCELED);
        if ((fds[0].revents & kGoneEvents) != 0 && (fds[0].revents & POLLOUT) == 0)
            throw EComPort(comerr::WriteFile, EIO);
        // r == 0: the limit ran out; the next round tries once more, then fails.
    }
}

int LinuxComDevice::InputCount()
{
    std::lock_guard lock(rxMutex_);
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        throw EComPort(comerr::ClearCommError, errno);
    return static_cast<int>(
        std::min<std::size_t>(rxQueue_.size() + static_cast<std::size_t>(waiting), INT_MAX));
}

int LinuxComDevice::InputCountNoThrow()
{
    std::lock_guard lock(rxMutex_);
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0)
        waiting = 0;
    return static_cast<int>(
        std::min<std::size_t>(rxQueue_.size() + static_cast<std::size_t>(waiting), INT_MAX));
}

LinuxComDevice::PumpResult LinuxComDevice::PumpInput()
{
    PumpResult result;
    unsigned char chunk[4096];
    std::lock_guard lock(rxMutex_);
    // Bounded, so that a device that never stops sending cannot keep the queue locked.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            const std::size_t room =
                rxCapacity_ > rxQueue_.size() ? rxCapacity_ - rxQueue_.size() : 0;
            const std::size_t kept = std::min(room, static_cast<std::size_t>(n));
            rxQueue_.insert(rxQueue_.end(), chunk, chunk + kept);
            result.added += kept;
            if (static_cast<std::size_t>(n) < sizeof chunk)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            result.gone = true;
        break;
    }
    SetRxReady(!rxQueue_.empty());
    return result;
}

void LinuxComDevice::Purge()
{
    ::tcflush(fd_, TCIOFLUSH);
    std::lock_guard lock(rxMutex_);
    rxQueue_.clear();
    SetRxReady(false);
}

}  // namespace imconf
