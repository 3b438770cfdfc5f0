// The Windows side of the serial component: the communications functions on one port handle
// opened for overlapped I/O. The driver does the timing: the read-interval and write time-outs
// of SetCommTimeouts end reads and writes, PurgeComm aborts them.

#include "serial/ComDeviceWin32.h"
#include "serial/NetworkPortName.h"

#include <atomic>
#include <climits>

namespace imconf::win32 {

namespace {

struct EventBit {
    TComEvents component;
    DWORD windows;
};
// In the order the component delivers them.
constexpr EventBit kEventBits[] = {
    {evError, EV_ERR}, {evRxChar, EV_RXCHAR},     {evTxEmpty, EV_TXEMPTY}, {evBreak, EV_BREAK},
    {evRing, EV_RING}, {evCTS, EV_CTS},           {evDSR, EV_DSR},         {evRxFlag, EV_RXFLAG},
    {evRLSD, EV_RLSD}, {evRx80Full, EV_RX80FULL},
};

}  // namespace

DWORD ToWindowsMask(TComEvents events)
{
    DWORD mask = 0;
    for (const EventBit& bit : kEventBits) {
        if ((events & bit.component) != 0)
            mask |= bit.windows;
    }
    return mask;
}

TComEvents FromWindowsMask(DWORD mask)
{
    TComEvents events = 0;
    for (const EventBit& bit : kEventBits) {
        if ((mask & bit.windows) != 0)
            events = static_cast<TComEvents>(events | bit.component);
    }
    return events;
}

namespace {

// A time-out setting as the driver takes it: -1 is MAXDWORD ("return at once with what is
// there" for the read interval); other negative values are refused.
bool ToTimeout(int value, DWORD& out)
{
    if (value == -1) {
        out = MAXDWORD;
        return true;
    }
    if (value < 0)
        return false;
    out = static_cast<DWORD>(value);
    return true;
}

}  // namespace

bool MakeTimeouts(const TComTimeouts& t, COMMTIMEOUTS& out)
{
    COMMTIMEOUTS timeouts{};
    if (!ToTimeout(t.ReadInterval, timeouts.ReadIntervalTimeout) || t.ReadTotalMultiplier < 0 ||
        t.ReadTotalConstant < 0 || t.WriteTotalMultiplier < 0 || t.WriteTotalConstant < 0)
        return false;
    timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(t.ReadTotalMultiplier);
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(t.ReadTotalConstant);
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(t.WriteTotalMultiplier);
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(t.WriteTotalConstant);
    out = timeouts;
    return true;
}

DCB MakeDcb(const ComLineSettings& line)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = line.baud;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity.Check ? TRUE : FALSE;
    dcb.fOutxCtsFlow = line.flow.OutCTSFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = line.flow.OutDSRFlow ? TRUE : FALSE;
    switch (line.flow.ControlDTR) {
    case TDTRFlowControl::dtrDisable: dcb.fDtrControl = DTR_CONTROL_DISABLE; break;
    case TDTRFlowControl::dtrEnable: dcb.fDtrControl = DTR_CONTROL_ENABLE; break;
    case TDTRFlowControl::dtrHandshake: dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; break;
    default: throw EComPort(comerr::SetCommState, ERROR_INVALID_PARAMETER);
    }
    dcb.fDsrSensitivity = line.flow.DSRSensitivity ? TRUE : FALSE;
    dcb.fTXContinueOnXoff = line.flow.TxContinueOnXoff ? TRUE : FALSE;
    dcb.fOutX = line.flow.XonXoffOut ? TRUE : FALSE;
    dcb.fInX = line.flow.XonXoffIn ? TRUE : FALSE;
    dcb.fErrorChar = line.parity.Replace ? TRUE : FALSE;
    dcb.fNull = line.discardNull ? TRUE : FALSE;
    switch (line.flow.ControlRTS) {
    case TRTSFlowControl::rtsDisable: dcb.fRtsControl = RTS_CONTROL_DISABLE; break;
    case TRTSFlowControl::rtsEnable: dcb.fRtsControl = RTS_CONTROL_ENABLE; break;
    case TRTSFlowControl::rtsHandshake: dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; break;
    case TRTSFlowControl::rtsToggle: dcb.fRtsControl = RTS_CONTROL_TOGGLE; break;
    default: throw EComPort(comerr::SetCommState, ERROR_INVALID_PARAMETER);
    }
    dcb.fAbortOnError = FALSE;
    const int limit = line.inputSize > 0 ? line.inputSize / 4 : 0;
    dcb.XonLim = static_cast<WORD>(limit > 0xFFFF ? 0xFFFF : limit);
    dcb.XoffLim = dcb.XonLim;
    switch (line.dataBits) {
    case TDataBits::dbFive: dcb.ByteSize = 5; break;
    case TDataBits::dbSix: dcb.ByteSize = 6; break;
    case TDataBits::dbSeven: dcb.ByteSize = 7; break;
    case TDataBits::dbEight: dcb.ByteSize = 8; break;
    default: throw EComPort(comerr::SetCommState, ERROR_INVALID_PARAMETER);
    }
    switch (line.parity.Bits) {
    case TParityBits::prNone: dcb.Parity = NOPARITY; break;
    case TParityBits::prOdd: dcb.Parity = ODDPARITY; break;
    case TParityBits::prEven: dcb.Parity = EVENPARITY; break;
    case TParityBits::prMark: dcb.Parity = MARKPARITY; break;
    case TParityBits::prSpace: dcb.Parity = SPACEPARITY; break;
    default: throw EComPort(comerr::SetCommState, ERROR_INVALID_PARAMETER);
    }
    switch (line.stopBits) {
    case TStopBits::sbOneStopBit: dcb.StopBits = ONESTOPBIT; break;
    case TStopBits::sbOne5StopBits: dcb.StopBits = ONE5STOPBITS; break;
    case TStopBits::sbTwoStopBits: dcb.StopBits = TWOSTOPBITS; break;
    default: throw EComPort(comerr::SetCommState, ERROR_INVALID_PARAMETER);
    }
    dcb.XonChar = line.flow.XonChar;
    dcb.XoffChar = line.flow.XoffChar;
    dcb.ErrorChar = line.parity.ReplaceChar;
    dcb.EofChar = 0;
    dcb.EvtChar = line.eventChar;
    return dcb;
}

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

int LastError()
{
    return static_cast<int>(::GetLastError());
}

// A manual-reset event for one asynchronous request, closed with its owner.
class Signal {
public:
    Signal() : handle_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Signal()
    {
        if (handle_ != nullptr)
            ::CloseHandle(handle_);
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

class Win32ComDevice final : public ComDevice {
public:
    Win32ComDevice(HANDLE handle, HANDLE stopSignal) : handle_(handle), stop_(stopSignal) {}
    ~Win32ComDevice() override
    {
        ::CloseHandle(handle_);
        ::CloseHandle(stop_);
    }
    Win32ComDevice(const Win32ComDevice&) = delete;
    Win32ComDevice& operator=(const Win32ComDevice&) = delete;

    void SetBuffers(const TComBuffer& buffer) override
    {
        if (buffer.InputSize <= 0 || buffer.OutputSize <= 0)
            throw EComPort(comerr::SetupComm, ERROR_INVALID_PARAMETER);
        if (!::SetupComm(handle_, static_cast<DWORD>(buffer.InputSize),
                         static_cast<DWORD>(buffer.OutputSize)))
            throw EComPort(comerr::SetupComm, LastError());
    }

    void SetLine(const ComLineSettings& line) override
    {
        DCB dcb = MakeDcb(line);
        if (!::SetCommState(handle_, &dcb))
            throw EComPort(comerr::SetCommState, LastError());
    }

    void SetTimeouts(const TComTimeouts& t) override
    {
        COMMTIMEOUTS timeouts{};
        if (!MakeTimeouts(t, timeouts))
            throw EComPort(comerr::SetCommTimeouts, ERROR_INVALID_PARAMETER);
        if (!::SetCommTimeouts(handle_, &timeouts))
            throw EComPort(comerr::SetCommTimeouts, LastError());
    }

    int Read(void* buffer, int count) override
    {
        if (count == 0)
            return 0;
        if (count < 0 || buffer == nullptr)
            throw EComPort(comerr::ReadFile, ERROR_INVALID_PARAMETER);
        const DWORD moved = Transfer(buffer, nullptr, count, comerr::ReadFile);
        return static_cast<int>(moved);
    }

    int Write(const void* buffer, int count) override
    {
        if (count == 0)
            return 0;
        if (count < 0 || buffer == nullptr)
            throw EComPort(comerr::WriteFile, ERROR_INVALID_PARAMETER);
        const DWORD moved = Transfer(nullptr, buffer, count, comerr::WriteFile);
        // The write time-out ran out before every byte was handed to the driver.
        if (moved != static_cast<DWORD>(count))
            throw EComPort(comerr::WriteFile, ERROR_TIMEOUT);
        return count;
    }

    int InputCount() override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status))
            throw EComPort(comerr::ClearCommError, LastError());
        return status.cbInQue > INT_MAX ? INT_MAX : static_cast<int>(status.cbInQue);
    }

    int InputCountNoThrow() override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status))
            return 0;
        return status.cbInQue > INT_MAX ? INT_MAX : static_cast<int>(status.cbInQue);
    }

    int Cancel() override
    {
        cancelled_.store(true);
        if (!::PurgeComm(handle_, kPurgeAll))
            return LastError();
        // Not every driver ends requests that are already waiting on PurgeComm alone; this
        // ends them on any.
        ::CancelIoEx(handle_, nullptr);
        return 0;
    }

    void Purge() override { ::PurgeComm(handle_, kPurgeAll); }

    int Resume() override
    {
        ::ResetEvent(stop_);
        cancelled_.store(false);
        // A device that has vanished (an adapter pulled out) refuses this.
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(handle_, &errors, &status) ? 0 : LastError();
    }

    void StartMonitoring(TComEvents mask) override { ::SetCommMask(handle_, ToWindowsMask(mask)); }

    TComEvents WaitEvents() override
    {
        if (!waitSignal_)
            return 0;
        for (;;) {
            // (1) An asynchronous wait for a line event of the mask.
            ::ResetEvent(waitSignal_.Get());
            waitOverlapped_ = OVERLAPPED{};
            waitOverlapped_.hEvent = waitSignal_.Get();
            reported_ = 0;
            if (!::WaitCommEvent(handle_, &reported_, &waitOverlapped_)) {
                if (::GetLastError() != ERROR_IO_PENDING)
                    return 0;
                waitPending_ = true;
            }
            // (2) That wait or the stop signal, whichever comes first.
            const HANDLE signals[2] = {waitSignal_.Get(), stop_};
            const DWORD which = ::WaitForMultipleObjects(2, signals, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0)
                return 0;
            // (3) The line event: its mask when the result can be fetched; a wait that ended
            // without one (the mask was changed, the request was aborted) is started again.
            DWORD unused = 0;
            const BOOL fetched = ::GetOverlappedResult(handle_, &waitOverlapped_, &unused, FALSE);
            waitPending_ = false;
            if (fetched) {
                const TComEvents events = FromWindowsMask(reported_);
                if (events != 0)
                    return events;
            }
        }
    }

    void EndMonitoring() override
    {
        // (4) Clearing the mask ends a wait still in progress; the request's block must not be
        // in use when this thread leaves.
        ::SetCommMask(handle_, 0);
        if (waitPending_) {
            ::CancelIoEx(handle_, &waitOverlapped_);
            DWORD unused = 0;
            ::GetOverlappedResult(handle_, &waitOverlapped_, &unused, TRUE);
            waitPending_ = false;
        }
        ::PurgeComm(handle_, kPurgeAll);
    }

    void StopMonitoring() override { ::SetEvent(stop_); }

private:
    // One asynchronous read (into `in`) or write (from `out`) with its own request block and
    // signal, and the wait for its end; the number of bytes moved.
    DWORD Transfer(void* in, const void* out, int count, int errorCode)
    {
        if (cancelled_.load())
            throw EComPort(errorCode, ERROR_OPERATION_ABORTED);
        Signal done;
        if (!done)
            throw EComPort(errorCode, LastError());
        OVERLAPPED overlapped{};
        overlapped.hEvent = done.Get();
        DWORD moved = 0;
        const DWORD length = static_cast<DWORD>(count);
        const BOOL started = out != nullptr ? ::WriteFile(handle_, out, length, &moved, &overlapped)
                                            : ::ReadFile(handle_, in, length, &moved, &overlapped);
        if (started)
            return moved;
        if (::GetLastError() != ERROR_IO_PENDING)
            throw EComPort(errorCode, LastError());
        // Cancel sets the flag before it aborts: a request that started after the abort sees
        // the flag here and ends itself.
        if (cancelled_.load())
            ::CancelIoEx(handle_, &overlapped);
        if (::WaitForSingleObject(done.Get(), INFINITE) != WAIT_OBJECT_0) {
            const int error = LastError();
            ::CancelIoEx(handle_, &overlapped);
            ::GetOverlappedResult(handle_, &overlapped, &moved, TRUE);
            throw EComPort(errorCode, error);
        }
        if (!::GetOverlappedResult(handle_, &overlapped, &moved, FALSE))
            throw EComPort(errorCode, LastError());
        return moved;
    }

    const HANDLE handle_;
    const HANDLE stop_;  // manual reset; set when the thread is to end, reset by Resume
    std::atomic<bool> cancelled_{false};

    // Monitoring thread only.
    Signal waitSignal_;
    OVERLAPPED waitOverlapped_{};
    DWORD reported_ = 0;
    bool waitPending_ = false;
};

}  // namespace

}  // namespace imconf::win32

namespace imconf {

const ComOsErrors& ComOsError()
{
    static const ComOsErrors errors{ERROR_OPERATION_ABORTED, ERROR_INVALID_HANDLE};
    return errors;
}

std::unique_ptr<ComDevice> OpenComDevice(const std::string& name)
{
    if (IsNetworkPortName(name))
        return OpenNetworkDevice(name);
    const std::string path = "\\\\.\\" + name;
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw EComPort(comerr::Open, static_cast<int>(::GetLastError()));
    // Only a character device is a port: a file or a pipe reached through the name is refused
    // before anything is written to it.
    if (::GetFileType(handle) != FILE_TYPE_CHAR) {
        ::CloseHandle(handle);
        throw EComPort(comerr::Open, ERROR_BAD_DEVICE);
    }
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stop == nullptr) {
        const int error = static_cast<int>(::GetLastError());
        ::CloseHandle(handle);
        throw EComPort(comerr::Open, error);
    }
    return std::make_unique<win32::Win32ComDevice>(handle, stop);
}

}  // namespace imconf
