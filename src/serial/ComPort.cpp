#include "serial/ComPort.h"

#include "serial/ComDevice.h"
#include "serial/ComThread.h"

#include <cstdio>
#include <system_error>

namespace imconf {

std::uint32_t BaudRateToInt(TBaudRate rate, std::uint32_t custom)
{
    switch (rate) {
    case TBaudRate::brCustom: return custom;
    case TBaudRate::br110: return 110;
    case TBaudRate::br300: return 300;
    case TBaudRate::br600: return 600;
    case TBaudRate::br1200: return 1200;
    case TBaudRate::br2400: return 2400;
    case TBaudRate::br4800: return 4800;
    case TBaudRate::br9600: return 9600;
    case TBaudRate::br14400: return 14400;
    case TBaudRate::br19200: return 19200;
    case TBaudRate::br38400: return 38400;
    case TBaudRate::br56000: return 56000;
    case TBaudRate::br57600: return 57600;
    case TBaudRate::br115200: return 115200;
    case TBaudRate::br128000: return 128000;
    case TBaudRate::br256000: return 256000;
    }
    return 0;
}

// --- EComPort ---------------------------------------------------------------------------

namespace {

std::string ComErrorMessage(int code, int osError)
{
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (win error code: %d)", osError);
    return std::string(EComPort::CodeText(code)) + suffix;
}

}  // namespace

EComPort::EComPort(int code, int osError)
    : std::runtime_error(ComErrorMessage(code, osError)),
      code_(code),
      osError_(osError)
{
}

EComPort::EComPort(int code, int osError, std::string detail) : EComPort(code, osError)
{
    detail_ = std::move(detail);
}

const char* EComPort::CodeText(int code)
{
    switch (code) {
    case comerr::Open: return "Unable to open com port";
    case comerr::WriteFile: return "WriteFile function failed";
    case comerr::ReadFile: return "ReadFile function failed";
    case comerr::PurgeComm: return "PurgeComm function failed";
    case comerr::SetCommState: return "SetCommState function failed";
    case comerr::SetCommTimeouts: return "SetCommTimeouts failed";
    case comerr::SetupComm: return "SetupComm function failed";
    case comerr::ClearCommError: return "ClearCommError function failed";
    default: return "Com port error";
    }
}

// --- TCustomComPort ---------------------------------------------------------------------

// One Read, Write or InputCount call using the open device; Close waits for all of them to
// leave before it closes the device.
class TCustomComPort::DeviceUse {
public:
    DeviceUse(TCustomComPort& port, int errorCode) : port_(port)
    {
        std::lock_guard lock(port_.mutex_);
        if (port_.state_ != State::Open || !port_.device_)
            throw EComPort(errorCode, port_.state_ == State::Closing ? ComOsError().aborted
                                                                     : ComOsError().notOpen);
        ++port_.users_;
        device_ = port_.device_.get();
    }
    ~DeviceUse()
    {
        std::lock_guard lock(port_.mutex_);
        if (--port_.users_ == 0)
            port_.changed_.notify_all();
    }
    DeviceUse(const DeviceUse&) = delete;
    DeviceUse& operator=(const DeviceUse&) = delete;

    ComDevice& Device() const { return *device_; }

private:
    TCustomComPort& port_;
    ComDevice* device_ = nullptr;
};

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the device is left to the process end.
    }
    std::lock_guard lock(mutex_);
    DropKept();
}

void TCustomComPort::SetHeld(bool held)
{
    std::lock_guard lock(mutex_);
    held_ = held;
    if (!held)
        DropKept();
}

bool TCustomComPort::Held() const
{
    std::lock_guard lock(mutex_);
    return held_;
}

bool TCustomComPort::Kept() const
{
    std::lock_guard lock(mutex_);
    return kept_ != nullptr;
}

void TCustomComPort::DropKept()
{
    if (!kept_ || state_ != State::Closed)
        return;
    device_ = std::move(kept_);
    DestroyHandle();
}

void TCustomComPort::SetPort(const std::string& name)
{
    bool reopen = false;
    {
        std::lock_guard lock(mutex_);
        if (name == port_)
            return;
        port_ = name;
        reopen = state_ == State::Open;
        DropKept();
    }
    if (reopen) {
        Close();
        {
            std::lock_guard lock(mutex_);
            DropKept();  // the device of the old name
        }
        Open();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate rate)
{
    std::lock_guard lock(mutex_);
    if (rate == baudRate_)
        return;
    baudRate_ = rate;
    if (state_ == State::Open)
        ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::uint32_t bitsPerSecond)
{
    std::lock_guard lock(mutex_);
    if (bitsPerSecond == customBaudRate_)
        return;
    customBaudRate_ = bitsPerSecond;
    if (state_ == State::Open && baudRate_ == TBaudRate::brCustom)
        ApplyLineSettings();
}

void TCustomComPort::Open()
{
    std::unique_lock lock(mutex_);
    while (state_ == State::Closing) {
        // The receive handler opening the port while another thread closes it would wait
        // for its own thread to end.
        if (thread_ && thread_->IsCurrent())
            throw EComPort(comerr::Open, ComOsError().aborted);
        changed_.wait(lock);
    }
    if (state_ == State::Open)
        return;

    if (kept_) {
        device_ = std::move(kept_);
        if (device_->Resume() == 0)
            device_->Purge();  // what came between two uses is stale
        else
            DestroyHandle();
    }
    if (!device_)
        CreateHandle();
    state_ = State::Open;
    connected_.store(true);
    try {
        ApplySettings();
        thread_ = std::make_unique<TComThread>(*this, *device_);
        thread_->Start();
    } catch (...) {
        thread_.reset();
        DestroyHandle();
        state_ = State::Closed;
        connected_.store(false);
        try {
            throw;
        } catch (const std::system_error& e) {
            throw EComPort(comerr::Open, e.code().value());  // no thread could be started
        }
    }
}

void TCustomComPort::Close()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (state_ == State::Closed)
            return;
        if (state_ == State::Open)
            break;
        // Closing already, by another thread: the handler returns at once (that thread waits
        // for it to end); any other caller waits until the port is closed.
        if (thread_ && thread_->IsCurrent())
            return;
        changed_.wait(lock);
    }

    // (1) Abort the reads and writes in progress; this also wakes the monitoring thread.
    if (const int error = device_->Cancel(); error != 0)
        throw EComPort(comerr::PurgeComm, error);
    state_ = State::Closing;
    // (2) Stop the monitoring thread and wait for it, unless this is that thread.
    TComThread* thread = thread_.get();
    if (thread != nullptr)
        thread->RequestStop();
    changed_.wait(lock, [this] { return users_ == 0; });
    const bool onOwnThread = thread != nullptr && thread->IsCurrent();
    lock.unlock();
    if (thread != nullptr) {
        if (onOwnThread)
            thread->Detach();
        else
            thread->Join();
    }
    lock.lock();
    thread_.reset();
    // (3) Close the device, unless it is held, (4) mark the port closed.
    if (held_)
        kept_ = std::move(device_);
    else
        DestroyHandle();
    state_ = State::Closed;
    connected_.store(false);
    changed_.notify_all();
}

ComLinkState TCustomComPort::LinkState()
{
    std::lock_guard lock(mutex_);
    if (state_ != State::Open || !device_)
        return ComLinkState::Failed;
    return device_->LinkState();
}

int TCustomComPort::Write(const void* buffer, int count)
{
    DeviceUse use(*this, comerr::WriteFile);
    return use.Device().Write(buffer, count);
}

int TCustomComPort::Read(void* buffer, int count)
{
    DeviceUse use(*this, comerr::ReadFile);
    return use.Device().Read(buffer, count);
}

int TCustomComPort::InputCount()
{
    DeviceUse use(*this, comerr::ClearCommError);
    return use.Device().InputCount();
}

void TCustomComPort::CreateHandle()
{
    device_ = OpenComDevice(port_);
}

void TCustomComPort::DestroyHandle()
{
    if (!device_)
        return;
    device_->Purge();
    device_.reset();
}

void TCustomComPort::ApplySettings()
{
    device_->SetBuffers(Buffer);
    ApplyLineSettings();
    device_->SetTimeouts(Timeouts);
}

void TCustomComPort::RxChar(int count)
{
    if (OnRxChar)
        OnRxChar(*this, count);
}

void TCustomComPort::ApplyLineSettings()
{
    ComLineSettings line;
    line.baud = BaudRateToInt(baudRate_, customBaudRate_);
    line.dataBits = DataBits;
    line.stopBits = StopBits;
    line.parity = Parity;
    line.flow = FlowControl;
    line.discardNull = DiscardNull;
    line.eventChar = EventChar;
    line.inputSize = Buffer.InputSize;
    device_->SetLine(line);
}

}  // namespace imconf
